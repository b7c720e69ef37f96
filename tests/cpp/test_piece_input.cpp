// Decoding piece by piece: the gzip and Compact RINEX stages give the same text and
// the same failure whatever the size of the pieces their input comes in (headers, lines
// and the end-of-file mark cut anywhere), a file read a piece at a time gives what the
// whole file gives, and a stream holds only a few pieces at once.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "check.hpp"
#include "gzip_text.hpp"
#include "io/crinex.hpp"
#include "io/decoder_stages.hpp"
#include "io/input.hpp"
#include "io/line_source.hpp"
#include "io/piece_source.hpp"
#include "io/text_stream.hpp"

using namespace skyrift;

// The bytes in pieces of `size` bytes.
class SlicedInput : public PieceSource {
public:
    SlicedInput(std::string bytes, std::size_t size) : bytes_(std::move(bytes)), size_(size) {}
    bool next(std::string_view& piece) override {
        if (at_ >= bytes_.size()) return false;
        piece = std::string_view(bytes_).substr(at_, size_);
        at_ += piece.size();
        return true;
    }
    std::optional<GnssError> failure() override { return std::nullopt; }

private:
    std::string bytes_;
    std::size_t size_;
    std::size_t at_ = 0;
};

struct Decoded {
    std::string text;
    std::string error;
    friend bool operator==(const Decoded&, const Decoded&) = default;
};

static Decoded drain(const TextBuffer& buffer) {
    Decoded d;
    LineSource source(buffer, LineEnds::AllCarriageReturns);
    Line line;
    while (source.next(line)) d.text.append(line.text).append("\n");
    if (source.failed()) d.error = source.error().message();
    return d;
}

static Decoded streamed(void (*stage)(PieceSource&, TextStream&), const std::string& input, std::size_t size) {
    auto source = std::make_shared<SlicedInput>(input, size);
    TextBuffer buffer;
    buffer.stream = std::make_shared<TextStream>(0, std::nullopt, [source, stage](TextStream& out) { stage(*source, out); });
    return drain(buffer);
}

static std::string header_line(const std::string& content, const std::string& label) {
    std::string line = content;
    line.resize(60, ' ');
    return line + label + "\n";
}

static std::string compact_file(int epochs) {
    std::string text = header_line("3.0                 COMPACT RINEX FORMAT", "CRINEX VERS   / TYPE") +
                       header_line("x", "CRINEX PROG / DATE") +
                       header_line("     3.04           OBSERVATION DATA    G", "RINEX VERSION / TYPE") +
                       header_line("G    2 C1C S1C", "SYS / # / OBS TYPES") + header_line("", "END OF HEADER") +
                       "> 2020 01 01 00 00  0.0000000  0  2      G01G02\n\n" + "1&20000000000 1&45000\n1&21000000000 1&44000\n";
    for (int i = 0; i < epochs; ++i) text += "\n\n7 1\n" + std::to_string(i % 5) + " 0\r\n";
    return text;
}

static std::string lines_of_text(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "line " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 37), 'y') + "\n";
    return text;
}

static void gzip_in_pieces_of_any_size_inflates_alike() {
    // Two members with names (header fields of their own length), then bytes that start no member.
    std::string named = gzip_of(lines_of_text(3000));
    named[3] = 8;  // FNAME: a zero-terminated name follows the fixed header
    named.insert(10, std::string("member-name.rnx") + '\0');
    const std::string packed = named + gzip_of(lines_of_text(500)) + "trailing";
    const std::vector<std::string> inputs = {packed, packed.substr(0, packed.size() / 2), packed.substr(0, 12),
                                             packed.substr(0, named.size() + 3)};
    for (const std::string& input : inputs) {
        const Decoded whole = drain(inflate_gzip(input));
        for (const std::size_t size : {std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{4093}}) {
            const Decoded pieces = streamed(inflate_gzip_stream, input, size);
            if (!(pieces == whole))
                cpptest::fail("gzip of %zu bytes in pieces of %zu: %s / %s", input.size(), size, pieces.error.c_str(),
                              whole.error.c_str());
        }
    }
    CHECK(drain(inflate_gzip(packed)).text == lines_of_text(3000) + lines_of_text(500));
}

static void compact_rinex_in_pieces_of_any_size_expands_alike() {
    const std::string compact = compact_file(3000);
    std::string broken = compact;
    broken.replace(broken.size() - 400, 1, "x");
    const std::vector<std::string> inputs = {compact, compact + "\x1a\r\n", compact + "\x1a\nmore\n",
                                             compact.substr(0, compact.size() - 3), broken};
    for (const std::string& input : inputs) {
        const Decoded whole = drain(expand_crinex(input));
        for (const std::size_t size : {std::size_t{1}, std::size_t{3}, std::size_t{64}, std::size_t{5000}}) {
            const Decoded pieces = streamed(expand_crinex_stream, input, size);
            if (!(pieces == whole))
                cpptest::fail("compact RINEX of %zu bytes in pieces of %zu: %s / %s", input.size(), size,
                              pieces.error.c_str(), whole.error.c_str());
        }
    }
}

// The pieces given, then a read that fails as a file's would.
class FailingInput : public PieceSource {
public:
    explicit FailingInput(std::vector<std::string> pieces) : pieces_(std::move(pieces)) {}
    bool next(std::string_view& piece) override {
        if (given_ == pieces_.size()) return false;
        piece = pieces_[given_++];
        return true;
    }
    std::optional<GnssError> failure() override {
        return given_ == pieces_.size() ? std::optional(GnssError::io_errno(EIO)) : std::nullopt;
    }

private:
    std::vector<std::string> pieces_;
    std::size_t given_ = 0;
};

static void a_gzip_read_that_fails_midway_ends_with_that_failure() {
    // Failing after a whole member, inside one, or before the next one's header ends.
    const std::string text = lines_of_text(2000);
    const std::string member = gzip_of(text);
    const std::vector<std::vector<std::string>> inputs = {
        {member}, {member.substr(0, member.size() / 2)}, {member, member.substr(0, 5)}};
    const std::string failure = GnssError::io_errno(EIO).message();
    for (const auto& pieces : inputs) {
        auto source = std::make_shared<FailingInput>(pieces);
        TextBuffer buffer;
        buffer.stream = std::make_shared<TextStream>(
            0, std::nullopt, [source](TextStream& out) { inflate_gzip_stream(*source, out); });
        const Decoded d = drain(buffer);
        if (d.error != failure) cpptest::fail("gzip read failing after %zu pieces: %s", pieces.size(), d.error.c_str());
        CHECK(text.starts_with(d.text));
    }
}

// Damaged compact text, then filler given slowly (up to `limit` pieces): what a
// stage reads after its own damage to learn whether the input failed earlier.
class SlowFillerAfterDamage : public PieceSource {
public:
    SlowFillerAfterDamage(std::string damaged, std::size_t limit) : damaged_(std::move(damaged)), limit_(limit) {}
    bool next(std::string_view& piece) override {
        if (!damaged_given_) {
            damaged_given_ = true;
            piece = damaged_;
            return true;
        }
        if (filler_given == limit_) return false;
        ++filler_given;
        usleep(1000);
        piece = "\n";
        return true;
    }
    std::optional<GnssError> failure() override { return std::nullopt; }
    std::atomic<std::size_t> filler_given{0};

private:
    std::string damaged_;
    std::size_t limit_;
    bool damaged_given_ = false;
};

static void a_compact_stage_stops_reading_once_its_reader_has_gone() {
    std::string damaged = compact_file(100);
    damaged.replace(damaged.size() - 400, 1, "x");
    constexpr std::size_t limit = 3000;
    auto source = std::make_shared<SlowFillerAfterDamage>(damaged, limit);
    auto stream = std::make_shared<TextStream>(
        0, std::nullopt, [source](TextStream& out) { expand_crinex_stream(*source, out); });
    while (source->filler_given == 0) usleep(1000);
    stream.reset();  // the reader goes while the stage reads on
    CHECK(source->filler_given < limit);
}

static std::string write_temp(const std::string& name, const std::string& bytes) {
    const std::string path = "/tmp/skyrift_piece_input_" + std::to_string(getpid()) + "_" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

static void a_file_read_in_pieces_gives_the_whole_files_text() {
    const std::string text = lines_of_text(200000);  // several file pieces
    const std::string compact = compact_file(60000);
    std::string cut = gzip_of(compact);
    cut.resize(cut.size() * 2 / 3);
    const std::pair<std::string, std::string> files[] = {
        {"plain.rnx", text}, {"text.rnx.gz", gzip_of(text)}, {"compact.crx", compact},
        {"compact.crx.gz", gzip_of(compact)}, {"cut.crx.gz", cut}};
    for (const auto& [name, bytes] : files) {
        const std::string path = write_temp(name, bytes);
        auto whole = read_text_file(path, PathErrors::Io, SIZE_MAX);
        auto pieces = read_text_file(path, PathErrors::Io, 0);
        std::remove(path.c_str());
        if (!CHECK(whole && pieces && !whole->stream && pieces->stream)) continue;
        const Decoded a = drain(*whole), b = drain(*pieces);
        if (!(a == b)) cpptest::fail("%s: streamed read differs (%s / %s)", name.c_str(), b.error.c_str(), a.error.c_str());
    }
}

static void a_stream_holds_few_pieces() {
    // The producer may run ahead by a few pieces only; released pieces are freed.
    std::size_t pushed_when_first_taken = 0;
    std::atomic<std::size_t> pushed{0};
    {
        TextStream stream(0, std::nullopt, [&](TextStream& out) {
            for (int i = 0; i < 100; ++i) {
                if (!out.push(std::to_string(i) + "\n")) return;
                ++pushed;
            }
        });
        usleep(50000);
        pushed_when_first_taken = pushed.load();
        std::string_view piece;
        std::size_t number = 0, count = 0;
        while (stream.next(piece, number)) {
            CHECK(piece == std::to_string(count) + "\n" && number == count);
            stream.release_before(number + 1);
            ++count;
        }
        CHECK(count == 100);
    }
    CHECK(pushed_when_first_taken <= kPiecesAhead);
}

int main() {
    gzip_in_pieces_of_any_size_inflates_alike();
    compact_rinex_in_pieces_of_any_size_expands_alike();
    a_gzip_read_that_fails_midway_ends_with_that_failure();
    a_compact_stage_stops_reading_once_its_reader_has_gone();
    a_file_read_in_pieces_gives_the_whole_files_text();
    a_stream_holds_few_pieces();
    return cpptest::finish("piece input");
}
