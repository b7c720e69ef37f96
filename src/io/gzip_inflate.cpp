// gzip (RFC 1952) decompression, every member of a concatenated file. The member
// header is read here (so that each kind of damage gets its own text); the deflate
// body and its trailer (CRC-32 and length) go through Intel ISA-L's inflater,
// about twice as fast as zlib's on observation text.
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "io/decoder_stages.hpp"
#include "io/line_pieces.hpp"
#include "io/piece_source.hpp"
#include "io/text_stream.hpp"
#include "utils/memory.hpp"

namespace skyrift {

namespace {

constexpr std::size_t kMaxChunk = std::size_t{1} << 30;  // ISA-L counts in 32-bit units
constexpr std::size_t kFixedHeader = 10;

enum Flags : unsigned char { kHeaderCrc = 2, kExtra = 4, kName = 8, kComment = 16, kReserved = 0xe0 };

bool starts_member(const unsigned char* p, std::size_t n) { return n >= 2 && p[0] == 0x1f && p[1] == 0x8b; }

enum class HeaderStatus { Complete, Truncated, Invalid };

// The length of the member header at `p`, as zlib checks it: magic, method 8, no
// reserved flag, and the header CRC when present.
HeaderStatus read_member_header(const unsigned char* p, std::size_t n, std::size_t& length) {
    if ((n >= 1 && p[0] != 0x1f) || (n >= 2 && p[1] != 0x8b) || (n >= 3 && p[2] != 8) ||
        (n >= 4 && (p[3] & kReserved)))
        return HeaderStatus::Invalid;
    if (n < kFixedHeader) return HeaderStatus::Truncated;
    const unsigned char flags = p[3];
    std::size_t at = kFixedHeader;
    if (flags & kExtra) {
        if (n < at + 2) return HeaderStatus::Truncated;
        at += 2 + (p[at] | std::size_t{p[at + 1]} << 8);
    }
    for (const unsigned char text : {kName, kComment}) {
        if (!(flags & text)) continue;
        const auto* end = at < n ? static_cast<const unsigned char*>(std::memchr(p + at, 0, n - at)) : nullptr;
        if (!end) return HeaderStatus::Truncated;
        at = static_cast<std::size_t>(end - p) + 1;
    }
    if (flags & kHeaderCrc) {
        if (n < at + 2) return HeaderStatus::Truncated;
        const uint32_t stored = p[at] | uint32_t{p[at + 1]} << 8;
        if ((crc32_gzip_refl(0, p, at) & 0xffff) != stored) return HeaderStatus::Invalid;
        at += 2;
    }
    if (n < at) return HeaderStatus::Truncated;
    length = at;
    return HeaderStatus::Complete;
}

// The last member's stored length (the last four bytes of the input, `tail`), as a
// first guess of the output size. The trailer may belong to one of several members, or
// be trailing garbage, so the guess is bounded by a generous ratio (RINEX text packs
// about 4 to 8 times).
std::size_t size_hint(std::size_t compressed_size, std::string_view tail) {
    const std::size_t cap = compressed_size * 20 + 4096;
    if (compressed_size < 18 || tail.size() < 4) return cap;
    const auto* last = reinterpret_cast<const unsigned char*>(tail.data() + tail.size() - 4);
    const uint32_t isize = last[0] | (last[1] << 8) | (last[2] << 16) | (uint32_t{last[3]} << 24);
    return std::min<std::size_t>(std::max<std::size_t>(isize, compressed_size), cap) + 1;
}

// Where inflated text goes: one string grown as needed, the text's first bytes only,
// or pieces handed to a stream. `make_room` false: stop inflating.
class WholeText {
public:
    WholeText(std::string& text, std::size_t hint) : text_(text) {
        text_.reserve(hint);
        advise_huge_pages(text_.data(), text_.capacity());
        text_.resize(text_.capacity());
    }
    char* next() { return text_.data() + produced_; }
    std::size_t room() const { return text_.size() - produced_; }
    void wrote(std::size_t n) { produced_ += n; }
    bool make_room() {
        text_.resize(text_.size() * 2);
        return true;
    }
    void finish() { text_.resize(produced_); }

private:
    std::string& text_;
    std::size_t produced_ = 0;
};

class FirstBytes : public WholeText {
public:
    FirstBytes(std::string& text, std::size_t count) : WholeText(text, count) {}
    bool make_room() { return false; }
};

// Reads the member header at the front of the window, joining pieces while it is cut
// short; its length, or the failure.
std::optional<GnssError> member_header(ByteWindow& in, std::size_t& length) {
    for (;;) {
        const std::string_view bytes = in.bytes();
        const HeaderStatus status =
            read_member_header(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), length);
        if (status == HeaderStatus::Complete) return std::nullopt;
        if (status == HeaderStatus::Invalid) return GnssError::io("invalid gzip header");
        if (!in.extend()) return GnssError::io("unexpected end of file");
    }
}

// Whether another member follows (its first two bytes); bytes that start none are ignored.
bool member_follows(ByteWindow& in) {
    in.ensure(2);
    const std::string_view bytes = in.bytes();
    return starts_member(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

// Inflates every member of the input into `out`; the failure, if any. The input may
// come in pieces of any size: the inflater keeps its state from one to the next.
template <typename Output>
std::optional<GnssError> inflate_members(ByteWindow& in, Output& out) {
    auto state = std::make_unique<inflate_state>();
    do {
        std::size_t header = 0;
        if (auto error = member_header(in, header)) return error;
        in.consume(header);
        isal_inflate_init(state.get());
        state->crc_flag = ISAL_GZIP_NO_HDR_VER;  // CRC-32 and length checked against the trailer
        for (;;) {
            if (out.room() == 0 && !out.make_room()) return std::nullopt;
            const std::string_view bytes = in.bytes();
            state->next_in = reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data()));
            state->avail_in = static_cast<uint32_t>(std::min(bytes.size(), kMaxChunk));
            state->next_out = reinterpret_cast<unsigned char*>(out.next());
            state->avail_out = static_cast<uint32_t>(std::min(out.room(), kMaxChunk));
            const uint32_t in_before = state->avail_in, out_before = state->avail_out;
            const int result = isal_inflate(state.get());
            in.consume(in_before - state->avail_in);
            out.wrote(out_before - state->avail_out);
            if (result == ISAL_INCORRECT_CHECKSUM)
                return GnssError::io("corrupt gzip stream does not have a matching checksum");
            if (result < 0) return GnssError::io("corrupt deflate stream");
            if (state->block_state == ISAL_BLOCK_FINISH) break;
            if (in.bytes().empty() && state->avail_out != 0) {
                if (!in.extend()) return GnssError::io("unexpected end of file");
                continue;
            }
            if (state->avail_in == in_before && state->avail_out == out_before) {
                // No progress: the inflater may want more input at once; never loop.
                if (!in.extend()) return GnssError::io("corrupt deflate stream");
            }
        }
    } while (member_follows(in));
    return std::nullopt;
}

}  // namespace

TextBuffer inflate_gzip(std::string_view compressed) {
    TextBuffer out;
    WholeText text(out.text, size_hint(compressed.size(), compressed));
    WholeInput input(compressed);
    ByteWindow window(input);
    out.trailing_error = inflate_members(window, text);
    text.finish();
    return out;
}

void inflate_gzip_stream(PieceSource& compressed, TextStream& out) {
    LinePieces pieces(out);
    ByteWindow window(compressed);
    auto error = inflate_members(window, pieces);
    // A read that failed cut the input short: that failure, not the damage it left
    // (or a clean end after a whole member), is the one to report.
    if (auto failed = window.input_failure()) error = std::move(failed);
    pieces.finish(std::move(error));
}

std::string gzip_text_start(std::string_view compressed) {
    std::string start;
    FirstBytes first(start, kTextStart);
    WholeInput input(compressed);
    ByteWindow window(input);
    inflate_members(window, first);
    first.finish();
    return start;
}

std::size_t gzip_text_size(std::size_t compressed_size, std::string_view tail) {
    return size_hint(compressed_size, tail);
}

bool has_gzip_extension(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (name == "..") return false;
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return false;  // ".gz" alone is a hidden name
    return name.substr(dot + 1) == "gz";
}

bool recognises_gzip(std::string_view file_name, std::string_view /*data*/) { return has_gzip_extension(file_name); }

}  // namespace skyrift
