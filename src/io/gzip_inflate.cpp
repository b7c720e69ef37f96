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

// The last member's stored length, as a first guess of the output size. The
// trailer may belong to one of several members, or be trailing garbage, so the
// guess is bounded by a generous ratio (RINEX text packs about 4 to 8 times).
std::size_t size_hint(std::string_view compressed) {
    const std::size_t cap = compressed.size() * 20 + 4096;
    if (compressed.size() < 18) return cap;
    const auto* tail = reinterpret_cast<const unsigned char*>(compressed.data() + compressed.size() - 4);
    const uint32_t isize = tail[0] | (tail[1] << 8) | (tail[2] << 16) | (uint32_t{tail[3]} << 24);
    return std::min<std::size_t>(std::max<std::size_t>(isize, compressed.size()), cap) + 1;
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

class PiecedText {
public:
    explicit PiecedText(TextStream& stream) : stream_(stream), piece_(kStreamPiece, '\0') {}
    char* next() { return piece_.data() + produced_; }
    std::size_t room() const { return piece_.size() - produced_; }
    void wrote(std::size_t n) { produced_ += n; }
    // Hands over the whole lines; the unfinished one starts the next piece.
    bool make_room() {
        const auto* last = static_cast<const char*>(memrchr(piece_.data(), '\n', produced_));
        if (!last) {
            piece_.resize(piece_.size() * 2);  // one line longer than a piece
            return true;
        }
        const std::size_t cut = static_cast<std::size_t>(last - piece_.data()) + 1;
        std::string rest(std::max(kStreamPiece, 2 * (produced_ - cut)), '\0');
        std::memcpy(rest.data(), piece_.data() + cut, produced_ - cut);
        piece_.resize(cut);
        produced_ -= cut;
        const bool reader_waits = stream_.push(std::move(piece_));
        piece_ = std::move(rest);
        return reader_waits;
    }
    void finish(std::optional<GnssError> error) {
        piece_.resize(produced_);
        if (!piece_.empty()) stream_.push(std::move(piece_));
        stream_.close(std::move(error));
    }

private:
    TextStream& stream_;
    std::string piece_;
    std::size_t produced_ = 0;
};

// Inflates every member into `out`; the failure, if any.
template <typename Output>
std::optional<GnssError> inflate_members(std::string_view compressed, Output& out) {
    const auto* input = reinterpret_cast<const unsigned char*>(compressed.data());
    std::size_t in_left = compressed.size();
    auto state = std::make_unique<inflate_state>();
    do {
        std::size_t header = 0;
        const HeaderStatus status = read_member_header(input, in_left, header);
        if (status != HeaderStatus::Complete)
            return GnssError::io(status == HeaderStatus::Invalid ? "invalid gzip header" : "unexpected end of file");
        input += header;
        in_left -= header;
        isal_inflate_init(state.get());
        state->crc_flag = ISAL_GZIP_NO_HDR_VER;  // CRC-32 and length checked against the trailer
        for (;;) {
            if (out.room() == 0 && !out.make_room()) return std::nullopt;
            state->next_in = const_cast<unsigned char*>(input);
            state->avail_in = static_cast<uint32_t>(std::min(in_left, kMaxChunk));
            state->next_out = reinterpret_cast<unsigned char*>(out.next());
            state->avail_out = static_cast<uint32_t>(std::min(out.room(), kMaxChunk));
            const uint32_t in_before = state->avail_in, out_before = state->avail_out;
            const int result = isal_inflate(state.get());
            input += in_before - state->avail_in;
            in_left -= in_before - state->avail_in;
            out.wrote(out_before - state->avail_out);
            if (result == ISAL_INCORRECT_CHECKSUM)
                return GnssError::io("corrupt gzip stream does not have a matching checksum");
            if (result < 0) return GnssError::io("corrupt deflate stream");
            if (state->block_state == ISAL_BLOCK_FINISH) break;
            if (in_left == 0 && state->avail_out != 0) return GnssError::io("unexpected end of file");
            if (state->avail_in == in_before && state->avail_out == out_before)
                return GnssError::io("corrupt deflate stream");  // no progress: never loop
        }
    } while (starts_member(input, in_left));
    return std::nullopt;
}

}  // namespace

TextBuffer inflate_gzip(std::string_view compressed) {
    TextBuffer out;
    WholeText text(out.text, size_hint(compressed));
    out.trailing_error = inflate_members(compressed, text);
    text.finish();
    return out;
}

void inflate_gzip_to(std::string_view compressed, TextStream& out) {
    PiecedText pieces(out);
    auto error = inflate_members(compressed, pieces);
    pieces.finish(std::move(error));
}

std::string gzip_text_start(std::string_view compressed) {
    std::string start;
    FirstBytes first(start, kTextStart);
    inflate_members(compressed, first);
    first.finish();
    return start;
}

std::size_t gzip_text_size(std::string_view compressed) { return size_hint(compressed); }

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
