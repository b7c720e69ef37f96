// What Python cannot see of a read observation file: loss-of-lock and signal
// strength digits, clock offsets, header fields without a getter, and the order
// of the flat storage that the analyses binary-search.
#include <cstdio>
#include <string>
#include <vector>

#include "check.hpp"
#include "rinex/obs_reader.hpp"

using namespace skyrift;

static std::string header_line(const std::string& content, const std::string& label) {
    std::string line = content;
    line.resize(60, ' ');
    return line + label + "\n";
}

static RinexObsData read(const std::string& text) {
    auto data = parse_observation_text(TextBuffer{text, std::nullopt});
    if (!data) {
        cpptest::fail("%s", data.error().message().c_str());
        return {};
    }
    return std::move(*data);
}

static const ObservationEntry* find(const RinexObsData& d, std::size_t epoch, const char* sat, const char* code) {
    const SatelliteEntry* s = d.find_satellite(d.epochs.at(epoch), *parse_satellite_id(sat));
    return s ? d.find_observation(*s, *parse_observation_code(code)) : nullptr;
}

static void rinex3_indicators_and_clock() {
    const std::string text =
        header_line("     3.04           OBSERVATION DATA    G (GPS)", "RINEX VERSION / TYPE") +
        header_line("G    4 C1C L1C S1C D1C", "SYS / # / OBS TYPES") +
        header_line("  2020     1     1     0     0    0.0000000     GPS", "TIME OF FIRST OBS") +
        header_line("    18", "LEAP SECONDS") + header_line("    31", "# OF SATELLITES") +
        header_line(" C1C   -0.100 C1P    0.250 C2C    x", "GLONASS COD/PHS/BIS") +
        header_line("  a comment  ", "COMMENT") + header_line("", "END OF HEADER") +
        "> 2020 01 01 00 00  0.0000000  0  2       0.000123456789\n"
        //  C1C: lli 7 (15 chars)  L1C: ssi 7 only     S1C: both           D1C: letters are no digits
        "R05  20000000.1237  100000000.123 7        45.00012        -1.000AB\n"
        "G02  20000000.000\n"
        "> 2020 01 01 00 00 30.0000000  0  1  short clock\n"
        "G01  20000000.000\n";
    const RinexObsData d = read(text);
    CHECK(d.epochs.size() == 2);
    CHECK(d.header.system == GnssSystem::GPS && d.header.file_type == 'O');
    CHECK(d.header.time_of_first_obs && d.header.time_of_first_obs->year == 2020 && d.header.time_system == "GPS");
    CHECK(d.header.leap_seconds == 18 && d.header.num_satellites == 31u);
    CHECK(d.header.glonass_code_phase_bias && d.header.glonass_code_phase_bias->size() == 2 &&
          d.header.glonass_code_phase_bias->at("C1P") == 0.25);
    CHECK(d.header.comments.size() == 1 && d.header.comments[0] == "a comment");
    CHECK(d.epochs[0].clock_offset && *d.epochs[0].clock_offset == 0.000123456789);
    CHECK(!d.epochs[1].clock_offset);
    CHECK(d.epochs[1].instant_ms - d.epochs[0].instant_ms == 30000);
    // R05: GLONASS has no code list in this header, so only G02 is stored for epoch 0.
    CHECK(d.epochs[0].num_satellites == 1);
    const ObservationEntry* c1c = find(d, 0, "G02", "C1C");
    CHECK(c1c && c1c->value() == 20000000.0 && c1c->lli() == kNoIndicator && c1c->ssi() == kNoIndicator);
}

static void indicators_by_position() {
    const std::string text = header_line("G    4 C1C L1C S1C D1C", "SYS / # / OBS TYPES") +
                             header_line("", "END OF HEADER") +
                             "> 2020 01 01 00 00  0.0000000  0  1\n"
                             "G05  20000000.1237  100000000.123 7        45.00012        -1.000AB\n";
    const RinexObsData d = read(text);
    const ObservationEntry* c1c = find(d, 0, "G05", "C1C");
    const ObservationEntry* l1c = find(d, 0, "G05", "L1C");
    const ObservationEntry* s1c = find(d, 0, "G05", "S1C");
    const ObservationEntry* d1c = find(d, 0, "G05", "D1C");
    CHECK(c1c && c1c->lli() == 7 && c1c->ssi() == kNoIndicator);
    CHECK(l1c && l1c->lli() == kNoIndicator && l1c->ssi() == 7);
    CHECK(s1c && s1c->lli() == 1 && s1c->ssi() == 2 && s1c->value() == 45.0);
    CHECK(d1c && d1c->lli() == kNoIndicator && d1c->ssi() == kNoIndicator && d1c->value() == -1.0);
}

static void storage_is_sorted_and_unique() {
    // Satellites in file order R, G, E, G again; codes in list order S, C, L with S repeated.
    const std::string text = header_line("G    4 S1C C1C L1C S1C", "SYS / # / OBS TYPES") +
                             header_line("R    1 C1C", "SYS / # / OBS TYPES") +
                             header_line("E    1 C1C", "SYS / # / OBS TYPES") + header_line("", "END OF HEADER") +
                             "> 2020 01 01 00 00  0.0000000  0  5\n"
                             "R10        1.000\n"
                             "G12        2.000           3.000           4.000\n"
                             "E03        5.000\n"
                             "G02       10.000          11.000          12.000          13.000\n"
                             "G12       20.000          21.000          22.000\n";
    const RinexObsData d = read(text);
    const auto sats = d.satellites_of(d.epochs[0]);
    std::vector<std::string> ids;
    for (const SatelliteEntry& s : sats) ids.push_back(s.satellite.id());
    CHECK((ids == std::vector<std::string>{"E03", "G02", "G12", "R10"}));
    std::vector<std::string> codes;
    for (const ObservationEntry& o : d.observations_of(sats[1])) codes.push_back(o.code.text());
    CHECK((codes == std::vector<std::string>{"C1C", "L1C", "S1C"}));
    CHECK(find(d, 0, "G02", "S1C")->value() == 13.0);  // the later S1C position wins
    CHECK(find(d, 0, "G12", "S1C")->value() == 20.0);  // replaced line: its own first S1C, no later value
    CHECK(find(d, 0, "G12", "C1C")->value() == 21.0);
    CHECK(d.observations.size() == 1 + 3 + 1 + 3);  // replaced observations are not kept
    CHECK(find(d, 0, "G01", "C1C") == nullptr && find(d, 0, "G02", "D1C") == nullptr);
}

static void header_version_and_system_columns() {
    const RinexObsData d =
        read(header_line("     2.11           OBSERVATION DATA    G (GPS)", "RINEX VERSION / TYPE") +
             header_line("", "END OF HEADER"));
    CHECK(d.header.version.family == 2 && d.header.version.minor == 11 && d.header.version.text() == "2.11");
    CHECK(d.header.system == GnssSystem::GPS);
    const RinexObsData blank = read(header_line("     2.11           O", "RINEX VERSION / TYPE"));
    CHECK(!blank.header.system && blank.header.file_type == 'O');
    const RinexObsData none = read("");
    CHECK(none.header.version.text() == "3.05" && !none.header.system && none.header.file_type == 'O');
}

int main() {
    rinex3_indicators_and_clock();
    indicators_by_position();
    storage_is_sorted_and_unique();
    header_version_and_system_columns();
    return cpptest::finish("rinex storage");
}
