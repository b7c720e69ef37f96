// Compact RINEX (Hatanaka) input: the difference arithmetic, the text a small
// hand-written compact file expands to, and the real compact/plain pairs of the
// shared data read to identical storage (epochs, flags, clock offsets, values,
// LLI and SSI digits), which Python cannot see in full.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "io/crinex.hpp"
#include "io/crinex_fields.hpp"
#include "rinex/obs_reader.hpp"

#include "check.hpp"

using namespace skyrift;

static std::string header_line(const std::string& content, const std::string& label) {
    std::string line = content;
    line.resize(60, ' ');
    return line + label + "\n";
}

// A line with each piece of text at its 0-based column, blanks elsewhere.
static std::string columns(std::initializer_list<std::pair<std::size_t, std::string>> pieces) {
    std::string line;
    for (const auto& [at, text] : pieces) {
        if (line.size() < at + text.size()) line.resize(at + text.size(), ' ');
        line.replace(at, text.size(), text);
    }
    return line + "\n";
}

static bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Differences of every order rebuild a cubic exactly, whatever order the arc uses.
static void arcs_rebuild_polynomials() {
    auto f = [](int64_t t) { return 1000 + 7 * t - 3 * t * t + 2 * t * t * t; };
    for (int order = 0; order <= kMaxDifferenceOrder; ++order) {
        // The compressor's side: the k-th value after the start is sent as its min(k, order)-th difference.
        std::vector<std::vector<int64_t>> table{{}};
        DifferenceArc arc;
        bool started = false;
        CHECK(arc.apply(std::to_string(order) + "&" + std::to_string(f(0)), started) == FieldError::None && started);
        bool all_equal = arc.value() == f(0);
        std::vector<int64_t> history{f(0)};
        for (int64_t t = 1; t < 12; ++t) {
            history.push_back(f(t));
            const int level = static_cast<int>(std::min<int64_t>(t, order));
            std::vector<int64_t> d(history.end() - level - 1, history.end());
            for (int k = 0; k < level; ++k)
                for (std::size_t i = d.size() - 1; i > static_cast<std::size_t>(k); --i) d[i] -= d[i - 1];
            CHECK(arc.apply(std::to_string(d.back()), started) == FieldError::None && !started);
            all_equal = all_equal && arc.value() == f(t);
        }
        CHECK(all_equal);
    }
}

static void field_errors() {
    DifferenceArc arc;
    bool started = false;
    CHECK(arc.apply("12", started) == FieldError::NotStarted);
    for (const char* bad : {"12&5", "&5", "x&5", "3&", "1-2", "3&--4", "99999999999999999999", "3&1 2"})
        CHECK(arc.apply(bad, started) != FieldError::None);
    CHECK(arc.apply("12&5", started) == FieldError::OrderOutOfRange);
    CHECK(arc.apply("x&5", started) == FieldError::OrderOutOfRange);
    CHECK(arc.apply("3&9x", started) == FieldError::BadNumber);
    CHECK(arc.apply("1&9223372036854775807", started) == FieldError::None);
    CHECK(arc.apply("1", started) == FieldError::Overflow);
    CHECK(arc.apply("1&-9223372036854775808", started) == FieldError::None && arc.value() == INT64_MIN);
    CHECK(arc.apply("1&9223372036854775808", started) == FieldError::BadNumber);
}

static void text_differences_and_fixed_numbers() {
    std::string ref = "> 2020 01 01 00 00  0.0000000  0  3      G01G02G03";
    std::string diff = columns({{17, "3"}, {34, "1"}, {44, "&&&&&&"}});
    diff.pop_back();
    apply_text_difference(ref, diff);
    CHECK(ref == "> 2020 01 01 00 03  0.0000000  0  1      G01      ");
    std::string grow = "ab";
    apply_text_difference(grow, "  c &");
    CHECK(grow == "abc  ");

    struct Case {
        int64_t value;
        int decimals;
        std::size_t width;
        const char* text;
    };
    for (const Case& c : {Case{-500, 3, 14, "        -0.500"}, Case{0, 3, 14, "         0.000"},
                          Case{9999999999999, 3, 14, "9999999999.999"}, Case{-999999999999, 3, 14, "-999999999.999"},
                          Case{123456789, 9, 12, " 0.123456789"}, Case{-1, 12, 15, "-0.000000000001"}}) {
        char field[32];
        std::memset(field, ' ', sizeof field);
        CHECK(write_fixed(field, c.width, c.value, c.decimals) && std::string(field, c.width) == c.text);
    }
    char field[16];
    CHECK(!write_fixed(field, 14, 10000000000000, 3) && !write_fixed(field, 14, -1000000000000, 3));
}

// A hand-written RINEX 3 compact file: a clock arc, an event with records, cycle-slip
// records copied as they are, a satellite that leaves and returns, blank and restarted
// observations, flags; after the event an epoch line written in full starts every
// satellite afresh while the clock's arc goes on.
static void expands_rinex3_by_hand() {
    const std::string header = header_line("     3.04           OBSERVATION DATA    M", "RINEX VERSION / TYPE") +
                               header_line("G    2 C1C S1C", "SYS / # / OBS TYPES") +
                               header_line("E    1 C1X", "SYS / # / OBS TYPES") + header_line("", "END OF HEADER");
    const std::string compact =
        header_line("3.0                 COMPACT RINEX FORMAT", "CRINEX VERS   / TYPE") +
        header_line("hand", "CRINEX PROG / DATE") + header +
        "> 2020 01 01 00 00  0.0000000  0  2      G01E05\n"
        "2&123456789012\n"
        "3&20000000123 3&45000 &&&1\n"
        "3&-1500\n" +
        columns({{19, "3"}, {34, "1"}, {44, "&&&"}}) +  // 00:00:30, one satellite: G01
        "1000\n"
        "250 -250  5 8\n" +
        columns({{0, ">"}, {31, "4"}, {34, "1"}}) +  // an event with one record
        "EVENT TEXT                                                  COMMENT\n"
        "> 2020 01 01 00 00 45.0000000  6  1       0.000000000001\n"
        "G01  20000000.500 1\n"
        "> 2020 01 01 00 01  0.0000000  0  2      G01E05\n"
        "1000\n"
        "3&20000000633 3&46000 1\n"  // the flags of before are gone
        "3&-1400\n";
    const std::string expected =
        header +
        "> 2020 01 01 00 00  0.0000000  0  2       0.123456789012\n"
        "G01  20000000.123          45.000 1\n"
        "E05        -1.500\n"
        "> 2020 01 01 00 00 30.0000000  0  1       0.123456790012\n"
        "G01  20000000.373 5        44.750 8\n" +
        columns({{0, ">"}, {31, "4"}, {34, "1"}}) +
        "EVENT TEXT                                                  COMMENT\n"
        "> 2020 01 01 00 00 45.0000000  6  1       0.000000000001\n"
        "G01  20000000.500 1\n"
        "> 2020 01 01 00 01  0.0000000  0  2       0.123456792012\n"
        "G01  20000000.6331         46.000\n"
        "E05        -1.400\n";
    const TextBuffer out = expand_crinex(compact);
    CHECK(!out.trailing_error);
    CHECK(out.text == expected);
    if (out.text != expected) std::printf("got:\n%s", out.text.c_str());
}

// RINEX 2: long satellite lists continue on lines of twelve, five types to a line,
// the clock offset in columns 69-80; a restarted arc keeps its flags, a blank value
// loses them.
static void expands_rinex2_by_hand() {
    const std::string header = header_line("     2.11           OBSERVATION DATA    G", "RINEX VERSION / TYPE") +
                               header_line("     6    L1    L2    C1    P2    P1", "# / TYPES OF OBSERV") +
                               header_line("          S1", "# / TYPES OF OBSERV") + header_line("", "END OF HEADER");
    std::string sats;
    for (int prn = 1; prn <= 13; ++prn) sats += (prn < 10 ? "G0" : "G") + std::to_string(prn);
    std::string compact = header_line("1.0                 COMPACT RINEX FORMAT", "CRINEX VERS   / TYPE") +
                          header_line("hand", "CRINEX PROG / DATE") + header +
                          "&20  1  1  0  0  0.0000000  0 13" + sats + "\n" + "1&-1234\n";
    for (int prn = 1; prn <= 13; ++prn)
        compact += "1&" + std::to_string(prn) + "000 1&2000 1&3000 1&4000 1&5000 1&45000  1 2 3 4 5 6\n";
    compact += columns({{16, "3"}, {30, "&1"}, {35, std::string(36, '&')}}) + "\n" +  // no clock
               "1 1 1 1 1 1&46000\n" +
               columns({{14, "1"}, {16, "&"}}) + "\n" + " 1 1 1 1 1\n" +  // 00:01:00, L1 blank
               columns({{16, "3"}}) + "\n" + "1&7000 1 1 1 1 1\n";  // 00:01:30, L1 back, no flag text
    const TextBuffer out = expand_crinex(compact);
    CHECK(!out.trailing_error);
    const std::string first_epoch = " 20  1  1  0  0  0.0000000  0 13" + sats.substr(0, 36) + "-0.000001234\n" +
                                    std::string(32, ' ') + "G13\n";
    CHECK(out.text.substr(header.size(), first_epoch.size()) == first_epoch);
    CHECK(out.text.find("         1.000 1         2.000 2         3.000 3         4.000 4         5.000 5\n"
                        "        45.000 6\n") != std::string::npos);
    // 00:00:30: G01 only, no clock; L1-P1 moved on by one thousandth, S1 restarted with its flag.
    // Then L1 blank, and back without the flag it had.
    const std::string last = " 20  1  1  0  0 30.0000000  0  1G01\n"
                             "         1.001 1         2.001 2         3.001 3         4.001 4         5.001 5\n"
                             "        46.000 6\n"
                             " 20  1  1  0  1  0.0000000  0  1G01\n"
                             "                         2.002 2         3.002 3         4.002 4         5.002 5\n"
                             "        46.001 6\n"
                             " 20  1  1  0  1 30.0000000  0  1G01\n"
                             "         7.000           2.003 2         3.003 3         4.003 4         5.003 5\n"
                             "        46.002 6\n";
    CHECK(out.text.size() >= last.size() && out.text.substr(out.text.size() - last.size()) == last);
}

// Damage keeps the complete epochs before it and names the compact file's line.
static void damage_is_reported_with_its_line() {
    const std::string start = header_line("3.0                 COMPACT RINEX FORMAT", "CRINEX VERS   / TYPE") +
                              header_line("x", "CRINEX PROG / DATE") +
                              header_line("G    1 S1C", "SYS / # / OBS TYPES") + header_line("", "END OF HEADER") +
                              "> 2020 01 01 00 00  0.0000000  0  1      G01\n\n3&45000\n";  // lines 4-6
    struct Case {
        std::string tail;
        std::string message;
        std::string kept_tail = "G01        45.000\n";  // how the output ends: the last whole epoch
    };
    const std::string second = columns({{19, "3"}}) + "\n";  // lines 7-8
    for (const Case& c : {
             Case{second + "12&1\n", "RINEX parsing error at line 9: Compact RINEX: difference order out of range"},
             Case{second + "1x\n", "RINEX parsing error at line 9: Compact RINEX: bad number"},
             Case{second + "25", "RINEX parsing error at line 9: Compact RINEX: last line cut short"},
             Case{second, "RINEX parsing error at line 9: Compact RINEX: file ends inside an epoch"},
             Case{"garbage\n", "RINEX parsing error at line 7: Compact RINEX: epoch line expected"},
             Case{columns({{19, "3"}, {33, "x"}}) + "\n", "RINEX parsing error at line 7: Compact RINEX: bad satellite count"},
             Case{columns({{19, "3"}, {34, "2"}}) + "\n",
                  "RINEX parsing error at line 7: Compact RINEX: satellite list shorter than its count"},
             Case{columns({{19, "3"}}) + "1&99999999999999999\n",
                  "RINEX parsing error at line 8: Compact RINEX: clock offset out of range"},
             // After an event the next epoch line is written in full.
             Case{"> 2020 01 01 00 00 15.0000000  4  0\n" + columns({{19, "3"}}) + "\n",
                  "RINEX parsing error at line 8: Compact RINEX: epoch line after an event not written in full",
                  "15.0000000  4  0\n"},
             // A full epoch line starts G01 afresh: its bare difference has nothing to add to.
             Case{"> 2020 01 01 00 00 30.0000000  0  1      G01\n\n25\n",
                  "RINEX parsing error at line 9: Compact RINEX: difference without a starting value"},
             // G01 missed the previous epoch, so a bare difference has nothing to add to.
             Case{columns({{19, "3"}, {34, "0"}, {41, "&&&"}}) + "\n" + columns({{20, "1"}, {34, "1"}, {41, "G01"}}) +
                      "\n25\n",
                  "RINEX parsing error at line 11: Compact RINEX: difference without a starting value",
                  "30.0000000  0  0\n"},
         }) {
        const TextBuffer out = expand_crinex(start + c.tail);
        CHECK(out.trailing_error && out.trailing_error->message() == c.message);
        if (out.trailing_error && out.trailing_error->message() != c.message)
            std::printf("  got: %s\n", out.trailing_error->message().c_str());
        // Whole epochs before the damage are kept; nothing of the damaged one is.
        CHECK(ends_with(out.text, c.kept_tail));
    }
    const TextBuffer cut_header = expand_crinex(start.substr(0, start.find("END OF HEADER") - 60));
    CHECK(cut_header.trailing_error &&
          cut_header.trailing_error->message() == "RINEX parsing error at line 3: Compact RINEX: file ends inside the header");
    const TextBuffer not_compact = expand_crinex(header_line("2.0                 COMPACT RINEX FORMAT", "CRINEX VERS   / TYPE"));
    CHECK(not_compact.trailing_error &&
          not_compact.trailing_error->message() == "RINEX parsing error at line 0: Compact RINEX: unsupported version line");
}

static bool same_storage(const RinexObsData& a, const RinexObsData& b) {
    bool same = a.epochs.size() == b.epochs.size() && a.satellite_entries.size() == b.satellite_entries.size() &&
                a.observations.size() == b.observations.size() && a.header.version.text() == b.header.version.text() &&
                a.header.marker_name == b.header.marker_name && a.header.comments == b.header.comments &&
                a.header.obs_types_v2 == b.header.obs_types_v2 && a.header.glonass_slots == b.header.glonass_slots;
    for (std::size_t i = 0; same && i < a.epochs.size(); ++i) {
        const EpochRecord &x = a.epochs[i], &y = b.epochs[i];
        same = x.instant_ms == y.instant_ms && x.epoch.second == y.epoch.second && x.flag == y.flag &&
               x.clock_offset == y.clock_offset && x.first_satellite == y.first_satellite &&
               x.num_satellites == y.num_satellites;
    }
    for (std::size_t i = 0; same && i < a.satellite_entries.size(); ++i) {
        const SatelliteEntry &x = a.satellite_entries[i], &y = b.satellite_entries[i];
        same = x.satellite == y.satellite && x.first_observation == y.first_observation &&
               x.num_observations == y.num_observations;
    }
    // Codes, indicator digits and the values' bits, entry by entry.
    return same && std::memcmp(a.observations.data(), b.observations.data(),
                               a.observations.size() * sizeof(ObservationEntry)) == 0;
}

static void real_pairs_read_identically() {
    const auto data = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().parent_path() /
                      "shared" / "data";
    if (!std::filesystem::exists(data)) {
        std::printf("SKIP real pairs: %s is absent\n", data.c_str());
        return;
    }
    const char* pairs[][2] = {
        {"ESBC00DNK_R_20201770000_01D_30S_MO.crx.gz", "ESBC00DNK_R_20201770000_01D_30S_MO.rnx.gz"},
        {"ACOR00ESP_R_20213550000_01D_30S_MO.crx", "ACOR00ESP_R_20213550000_01D_30S_MO.rnx"},
        {"KMS300DNK_R_20221591000_01H_30S_MO.crx", "KMS300DNK_R_20221591000_01H_30S_MO.rnx"},
        {"delf0010.21d", "delf0010.21o"},
    };
    for (const auto& pair : pairs) {
        auto compact = read_observation_file((data / pair[0]).string());
        auto plain = read_observation_file((data / pair[1]).string());
        CHECK(compact && plain && !compact->epochs.empty());
        if (compact && plain && !same_storage(*compact, *plain)) {
            cpptest::fail("%s differs from %s", pair[0], pair[1]);
        }
    }
}

int main() {
    arcs_rebuild_polynomials();
    field_errors();
    text_differences_and_fixed_numbers();
    expands_rinex3_by_hand();
    expands_rinex2_by_hand();
    damage_is_reported_with_its_line();
    real_pairs_read_identically();
    return cpptest::finish("compact rinex");
}
