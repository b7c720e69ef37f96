// The input layer as a streaming reader sees it: decoded lines in order, line ends,
// and a decoder failure reported only after every complete line before the damage
// (the readers' Python results show only the failure).
#include <cstdint>
#include <string>
#include <vector>

#include "check.hpp"
#include "gzip_text.hpp"
#include "io/input.hpp"
#include "io/line_source.hpp"

using namespace skyrift;

struct Drained {
    std::vector<std::string> lines;
    std::vector<uint64_t> indices;
    std::string error;  // empty at a clean end
};

static Drained drain(const TextBuffer& buffer, LineEnds ends) {
    Drained d;
    LineSource source(buffer, ends);
    Line line;
    while (source.next(line)) {
        d.lines.emplace_back(line.text);
        d.indices.push_back(line.index);
    }
    if (source.failed()) d.error = source.error().message();
    return d;
}

static std::string numbered_line(int i) {
    return "line " + std::to_string(i) + " of a text that deflate cannot shrink to nothing " +
           std::to_string(i * 7919 % 1000);
}

static std::string numbered_lines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += numbered_line(i) + "\n";
    return text;
}

static void damaged_gzip_gives_the_lines_before_the_damage_then_the_error() {
    const std::string text = numbered_lines(20000);
    std::string packed = gzip_of(text);
    packed.resize(packed.size() * 3 / 5);
    const Drained d = drain(decode_input(packed, "obs.rnx.gz"), LineEnds::AllCarriageReturns);
    CHECK(d.error == "I/O error: unexpected end of file");
    CHECK(d.lines.size() > 1000 && d.lines.size() < 20000);
    bool all_complete_and_in_order = true;
    for (std::size_t i = 0; i < d.lines.size(); ++i) {
        all_complete_and_in_order =
            all_complete_and_in_order && d.lines[i] == numbered_line(static_cast<int>(i)) && d.indices[i] == i;
    }
    CHECK(all_complete_and_in_order);
}

static void the_name_chooses_gzip() {
    const std::string text = numbered_lines(50);
    const TextBuffer inflated = decode_input(gzip_of(text), "dir.d/orbit.SP3.gz");
    CHECK(inflated.text == text && !inflated.trailing_error);
    const TextBuffer as_is = decode_input(text, "orbit.gz.sp3");
    CHECK(as_is.text == text && !as_is.trailing_error);
    const TextBuffer packed_but_not_named = decode_input(gzip_of(text), "orbit.GZ");
    CHECK(drain(packed_but_not_named, LineEnds::OneCarriageReturn).error ==
          "I/O error: stream did not contain valid UTF-8");
}

static void line_ends_and_invalid_text() {
    const TextBuffer buffer{"a\r\r\nb\r\n\nc\r", std::nullopt};
    const Drained all = drain(buffer, LineEnds::AllCarriageReturns);
    CHECK((all.lines == std::vector<std::string>{"a", "b", "", "c"}) && all.error.empty());
    const Drained one = drain(buffer, LineEnds::OneCarriageReturn);
    CHECK((one.lines == std::vector<std::string>{"a\r", "b", "", "c"}) && one.error.empty());
    CHECK((one.indices == std::vector<uint64_t>{0, 1, 2, 3}));

    const Drained bad =
        drain(TextBuffer{"ok\nstill ok\nbad \xff here\nnever\n", std::nullopt}, LineEnds::OneCarriageReturn);
    CHECK((bad.lines == std::vector<std::string>{"ok", "still ok"}));
    CHECK(bad.error == "I/O error: stream did not contain valid UTF-8");
}

// The mark ends the text only where nothing follows it, whether the text comes whole or
// in pieces from a decoder beside the reader (where the end is known a piece later).
static void dos_end_of_file_mark() {
    const std::string text = numbered_lines(60000);  // more than one piece
    for (const std::size_t stream_above : {std::size_t{0}, SIZE_MAX}) {
        const Drained at_end =
            drain(decode_input(gzip_of(text + "\x1a"), "x.gz", stream_above), LineEnds::AllCarriageReturns);
        CHECK(at_end.lines.size() == 60000 && at_end.lines.back() == numbered_line(59999) && at_end.error.empty());
        const Drained on_its_line =
            drain(decode_input(gzip_of(text + "\x1a\r\n"), "x.gz", stream_above), LineEnds::AllCarriageReturns);
        CHECK(on_its_line.lines.size() == 60000 && on_its_line.error.empty());
        const Drained inside =
            drain(decode_input(gzip_of(text + "\x1a\nmore\n"), "x.gz", stream_above), LineEnds::AllCarriageReturns);
        CHECK(inside.lines.size() == 60002 && inside.lines[60000] == "\x1a" && inside.lines[60001] == "more");
    }
}

int main() {
    damaged_gzip_gives_the_lines_before_the_damage_then_the_error();
    the_name_chooses_gzip();
    line_ends_and_invalid_text();
    dos_end_of_file_mark();
    return cpptest::finish("input layer");
}
