// Decoding beside the reader: a stage run on its own thread hands the reader the same
// lines, in order, as the whole-text decoding, and the same failure after the same
// lines; a reader that stops early stops the decoder.
#include <string>
#include <vector>

#include "io/crinex.hpp"
#include "io/decoder_stages.hpp"
#include "io/input.hpp"
#include "io/line_source.hpp"
#include "io/text_stream.hpp"

#include "check.hpp"
#include "gzip_text.hpp"

using namespace skyrift;

struct Drained {
    std::vector<std::string> lines;
    std::string error;
};

static Drained drain(const TextBuffer& buffer) {
    Drained d;
    LineSource source(buffer, LineEnds::AllCarriageReturns);
    Line line;
    while (source.next(line)) {
        CHECK(line.index == d.lines.size());
        d.lines.emplace_back(line.text);
    }
    if (source.failed()) d.error = source.error().message();
    return d;
}

// About 4 MB: two pieces and a half, with lines of every length mod the piece size.
static std::string many_lines() {
    std::string text;
    for (int i = 0; i < 60000; ++i)
        text += "line " + std::to_string(i) + std::string(static_cast<std::size_t>(i * 7919 % 97), 'x') + "\r\n";
    return text;
}

static void streamed_gzip_gives_the_whole_texts_lines() {
    const std::string packed = gzip_of(many_lines());
    const TextBuffer streamed = decode_input(packed, "x.rnx.gz", 0);
    CHECK(streamed.stream && streamed.text.empty());
    const Drained whole = drain(decode_input(packed, "x.rnx.gz", SIZE_MAX));
    const Drained d = drain(streamed);
    CHECK(whole.lines.size() == 60000 && d.lines == whole.lines && d.error.empty());
}

static void streamed_damage_comes_after_the_lines_before_it() {
    std::string packed = gzip_of(many_lines());
    packed.resize(packed.size() * 3 / 5);
    const Drained whole = drain(decode_input(packed, "x.rnx.gz", SIZE_MAX));
    const Drained d = drain(decode_input(packed, "x.rnx.gz", 0));
    CHECK(d.error == "I/O error: unexpected end of file" && whole.error == d.error);
    CHECK(d.lines == whole.lines && d.lines.size() > 20000);
}

static std::string header_line(const std::string& content, const std::string& label) {
    std::string line = content;
    line.resize(60, ' ');
    return line + label + "\n";
}

// A compact file of 20000 epochs of three satellites (the epoch line never changes).
static std::string long_compact_file() {
    std::string text = header_line("3.0                 COMPACT RINEX FORMAT", "CRINEX VERS   / TYPE") +
                       header_line("x", "CRINEX PROG / DATE") +
                       header_line("     3.04           OBSERVATION DATA    G", "RINEX VERSION / TYPE") +
                       header_line("G    2 C1C S1C", "SYS / # / OBS TYPES") + header_line("", "END OF HEADER") +
                       "> 2020 01 01 00 00  0.0000000  0  3      G01G02G03\n\n" +
                       "1&20000000000 1&45000\n1&21000000000 1&44000\n1&22000000000 1&43000\n";
    for (int i = 0; i < 20000; ++i) text += "\n\n7 1\n-7 -1\n" + std::to_string(i % 5) + " 0\n";
    return text;
}

static void streamed_compact_rinex_gives_the_whole_texts_lines() {
    const std::string compact = long_compact_file();
    const Drained whole = drain(expand_crinex(compact));
    const Drained d = drain(decode_input(compact, "x.crx", 0));
    CHECK(whole.lines.size() > 80000 && d.lines == whole.lines && d.error.empty());
    // Damage: the complete epochs before it, then the failure, as in the whole text.
    std::string broken = compact;
    broken.replace(broken.size() - 3000, 1, "x");
    const Drained whole_broken = drain(expand_crinex(broken));
    const Drained d_broken = drain(decode_input(broken, "x.crx", 0));
    CHECK(!d_broken.error.empty() && d_broken.error == whole_broken.error && d_broken.lines == whole_broken.lines);
}

static void an_earlier_stages_failure_is_the_one_reported() {
    // gzip runs whole (compact RINEX follows it) and fails; the compact stage, streamed,
    // sees the text cut short, but the gzip failure is reported.
    std::string packed = gzip_of(long_compact_file());
    packed.resize(packed.size() / 2);
    const Drained d = drain(decode_input(packed, "x.crx.gz", 0));
    CHECK(d.error == "I/O error: unexpected end of file" && !d.lines.empty());
}

static void a_reader_that_stops_early_stops_the_decoder() {
    // Each buffer's destructor stops and waits for its decoder; one that hung would
    // never let this loop end.
    const std::string packed = gzip_of(many_lines());
    const Drained whole = drain(decode_input(packed, "x.gz", SIZE_MAX));
    for (std::size_t round = 0; round < 20; ++round) {
        const TextBuffer streamed = decode_input(packed, "x.gz", 0);
        LineSource source(streamed, LineEnds::AllCarriageReturns);
        Line line;
        bool read = true;
        for (std::size_t i = 0; i <= round * 1000 && read; ++i) read = source.next(line);
        CHECK(read && line.text == whole.lines[round * 1000]);
    }
}

int main() {
    streamed_gzip_gives_the_whole_texts_lines();
    streamed_damage_comes_after_the_lines_before_it();
    streamed_compact_rinex_gives_the_whole_texts_lines();
    an_earlier_stages_failure_is_the_one_reported();
    a_reader_that_stops_early_stops_the_decoder();
    return cpptest::finish("text stream");
}
