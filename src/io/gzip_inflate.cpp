// The gzip stage: RFC 1952 decompression with zlib, every member of a concatenated file.
#include <zlib.h>

#include <algorithm>

#include "io/decoder_stages.hpp"
#include "utils/memory.hpp"

namespace skyrift {

namespace {

constexpr std::size_t kMaxChunk = std::size_t{1} << 30;  // zlib counts in 32-bit units

bool starts_member(const unsigned char* p, std::size_t n) { return n >= 2 && p[0] == 0x1f && p[1] == 0x8b; }

// zlib's wording mapped onto the texts users see for each class of damage.
GnssError inflate_error(int status, const char* zlib_message) {
    const std::string_view msg = zlib_message ? zlib_message : "";
    if (status == Z_MEM_ERROR) return GnssError::io("out of memory");
    if (msg == "incorrect header check" || msg == "unknown compression method" || msg == "unknown header flags set" ||
        msg == "header crc mismatch")
        return GnssError::io("invalid gzip header");
    if (msg == "incorrect data check" || msg == "incorrect length check")
        return GnssError::io("corrupt gzip stream does not have a matching checksum");
    return GnssError::io("corrupt deflate stream");
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

}  // namespace

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

TextBuffer inflate_gzip(std::string_view compressed) {
    TextBuffer out;
    const auto* input = reinterpret_cast<const unsigned char*>(compressed.data());
    std::size_t in_left = compressed.size();
    std::string& text = out.text;
    text.reserve(size_hint(compressed));
    advise_huge_pages(text.data(), text.capacity());
    text.resize(text.capacity());
    std::size_t produced = 0;

    z_stream zs{};
    if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK) {
        out.trailing_error = GnssError::io("out of memory");
        text.clear();
        return out;
    }
    bool member_open = true;
    while (member_open) {
        if (produced == text.size()) text.resize(text.size() * 2);
        zs.next_in = const_cast<unsigned char*>(input);
        zs.avail_in = static_cast<uInt>(std::min(in_left, kMaxChunk));
        zs.next_out = reinterpret_cast<unsigned char*>(text.data() + produced);
        zs.avail_out = static_cast<uInt>(std::min(text.size() - produced, kMaxChunk));
        const uInt in_before = zs.avail_in, out_before = zs.avail_out;
        const int status = inflate(&zs, Z_NO_FLUSH);
        input += in_before - zs.avail_in;
        in_left -= in_before - zs.avail_in;
        produced += out_before - zs.avail_out;
        if (status == Z_STREAM_END) {
            member_open = starts_member(input, in_left);
            if (member_open) inflateReset(&zs);
        } else if (status == Z_BUF_ERROR && in_left == 0) {
            out.trailing_error = GnssError::io("unexpected end of file");
            member_open = false;
        } else if (status != Z_OK && status != Z_BUF_ERROR) {
            out.trailing_error = inflate_error(status, zs.msg);
            member_open = false;
        }
    }
    inflateEnd(&zs);
    text.resize(produced);
    return out;
}

}  // namespace skyrift
