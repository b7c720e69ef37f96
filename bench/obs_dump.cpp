// Prints what the core makes of an observation file, for comparing two files that
// should hold the same data (a compact file and its original, say):
//   obs_dump --text FILE     the text the input layer decodes, line by line;
//   obs_dump FILE            per epoch its time, flag and receiver clock offset, then
//                            per satellite every observation: code, value (exact, as
//                            hexadecimal), LLI and SSI ("-" where absent).
// A failure prints "error: <message>" as the last line and exits with status 1.
// Not part of the Python module; bench/crinex_crosscheck.py builds and runs it.
#include <cstdio>
#include <cstring>
#include <string>

#include "io/input.hpp"
#include "io/line_source.hpp"
#include "rinex/obs_reader.hpp"

using namespace skyrift;

namespace {

int fail(const GnssError& error) {
    std::printf("error: %s\n", error.message().c_str());
    return 1;
}

int dump_text(const std::string& path) {
    auto text = read_text_file(path, PathErrors::FileNotFound);
    if (!text) return fail(text.error());
    LineSource lines(*text, LineEnds::AllCarriageReturns);
    Line line;
    while (lines.next(line)) std::printf("%.*s\n", static_cast<int>(line.text.size()), line.text.data());
    return lines.failed() ? fail(lines.error()) : 0;
}

void print_indicator(uint8_t digit) {
    if (digit == kNoIndicator) std::printf(" -");
    else std::printf(" %u", digit);
}

int dump_records(const std::string& path) {
    auto data = read_observation_file(path);
    if (!data) return fail(data.error());
    for (const EpochRecord& e : data->epochs) {
        std::printf("epoch %04d-%02u-%02u %02u:%02u %a flag %u clock ", e.epoch.year, e.epoch.month, e.epoch.day,
                    e.epoch.hour, e.epoch.minute, e.epoch.second, e.flag);
        if (e.clock_offset) std::printf("%a\n", *e.clock_offset);
        else std::printf("-\n");
        for (const SatelliteEntry& s : data->satellites_of(e)) {
            std::printf("  %s", s.satellite.id().c_str());
            for (const ObservationEntry& o : data->observations_of(s)) {
                std::printf(" %s %a", o.code.text().c_str(), o.value());
                print_indicator(o.lli());
                print_indicator(o.ssi());
            }
            std::printf("\n");
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--text") == 0) return dump_text(argv[2]);
    if (argc == 2) return dump_records(argv[1]);
    std::fprintf(stderr, "usage: %s [--text] FILE\n", argv[0]);
    return 2;
}
