// Unix `compress` (.Z) decompression: adaptive LZW as the 1985 `compress` wrote it.
//
// Layout: 1F 9D, a flags byte (low 5 bits: the largest code width, 9 to 16; bit 7:
// block mode, where code 256 clears the table), then codes packed from the least
// significant bit. Codes start 9 bits wide and widen when the next free entry no
// longer fits. `compress` reads codes in groups of eight (one group is exactly
// `width` bytes) and, when the width changes or the table is cleared, drops the rest
// of the current group; the decoder has to skip the same padding.
#include "io/unix_compress.hpp"

#include "io/decoder_stages.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "utils/memory.hpp"

namespace skyrift {

namespace {

constexpr unsigned kInitialWidth = 9;
constexpr uint32_t kClear = 256;
constexpr unsigned char kBlockMode = 0x80;
constexpr unsigned char kWidthMask = 0x1f;

// Every string of the table is already in the output: the string of the code before
// it followed by the first byte of the string after that. An entry is therefore a
// range of the output, and decoding a code is one copy.
struct Span {
    std::size_t offset = 0;
    uint32_t length = 0;
};

class CodeReader {
public:
    CodeReader(const unsigned char* data, std::size_t size) : data_(data), size_(size), end_bit_(uint64_t{size} * 8) {}

    bool has(unsigned width) const { return bit_ + width <= end_bit_; }

    uint32_t read(unsigned width) {
        const std::size_t byte = static_cast<std::size_t>(bit_ >> 3);
        uint32_t window = 0;
        for (std::size_t i = 0; i < 3 && byte + i < size_; ++i) window |= uint32_t{data_[byte + i]} << (8 * i);
        const uint32_t code = (window >> (bit_ & 7)) & ((1u << width) - 1);
        bit_ += width;
        ++codes_in_group_;
        return code;
    }

    // Skips the unread codes of the current group of eight, as `compress` does
    // whenever the width changes.
    void end_group(unsigned width) {
        const unsigned rest = (8 - codes_in_group_ % 8) % 8;
        bit_ += uint64_t{rest} * width;
        codes_in_group_ = 0;
    }

private:
    const unsigned char* data_;
    std::size_t size_;
    uint64_t end_bit_;
    uint64_t bit_ = 0;
    uint64_t codes_in_group_ = 0;
};

class Output {
public:
    explicit Output(std::string& text, std::size_t guess) : text_(text) {
        text_.reserve(guess);
        advise_huge_pages(text_.data(), text_.capacity());
        text_.resize(text_.capacity());
    }
    std::size_t size() const { return produced_; }
    void room_for(std::size_t bytes) {
        if (produced_ + bytes > text_.size()) text_.resize(std::max(text_.size() * 2, produced_ + bytes));
    }
    void put(char c) { text_[produced_++] = c; }
    // Appends `length` bytes from `from`; the source may run into the bytes being
    // written (a string that repeats its own first byte), so it is copied forwards.
    void repeat(std::size_t from, std::size_t length) {
        char* out = text_.data();
        if (from + length <= produced_) {
            std::memcpy(out + produced_, out + from, length);
        } else {
            for (std::size_t i = 0; i < length; ++i) out[produced_ + i] = out[from + i];
        }
        produced_ += length;
    }
    void finish() { text_.resize(produced_); }

private:
    std::string& text_;
    std::size_t produced_ = 0;
};

}  // namespace

bool has_compress_magic(std::string_view data) {
    return data.size() >= 2 && static_cast<unsigned char>(data[0]) == 0x1f && static_cast<unsigned char>(data[1]) == 0x9d;
}

bool recognises_compress(std::string_view /*file_name*/, std::string_view data) { return has_compress_magic(data); }

TextBuffer uncompress_lzw(std::string_view compressed) {
    TextBuffer result;
    const auto* bytes = reinterpret_cast<const unsigned char*>(compressed.data());
    const unsigned max_width = compressed.size() >= 3 ? (bytes[2] & kWidthMask) : 0;
    if (!has_compress_magic(compressed) || max_width < kInitialWidth || max_width > 16) {
        result.trailing_error = GnssError::io("invalid compress header");
        return result;
    }
    const bool block_mode = (bytes[2] & kBlockMode) != 0;
    const uint32_t table_size = uint32_t{1} << max_width;

    CodeReader reader(bytes + 3, compressed.size() - 3);
    Output out(result.text, compressed.size() * 4 + 4096);
    // One entry per code read at most, and a code takes 9 bits or more: a short stream
    // never needs the whole table (1 MiB at 16 bits, zero-filled before use).
    const std::size_t most_codes = (compressed.size() - 3) * 8 / kInitialWidth;
    std::vector<Span> table(std::min<std::size_t>(table_size, kClear + 1 + most_codes));
    unsigned width = kInitialWidth;
    uint32_t width_limit = (1u << width) - 1;  // the largest entry codes of this width can name
    uint32_t next_entry = block_mode ? kClear + 1 : kClear;
    bool started = false;
    Span previous;

    for (;;) {
        if (next_entry > width_limit) {
            reader.end_group(width);
            ++width;
            width_limit = width == max_width ? table_size : (1u << width) - 1;
        }
        if (!reader.has(width)) break;
        const uint32_t code = reader.read(width);
        if (block_mode && code == kClear && started) {
            // The entry made by the next code lands on 256 itself and is never named.
            reader.end_group(width);
            width = kInitialWidth;
            width_limit = (1u << width) - 1;
            next_entry = kClear;
            continue;
        }
        Span current{out.size(), 1};
        if (code < 256) {
            out.room_for(1);
            out.put(static_cast<char>(code));
        } else if (started && code < next_entry) {
            current.length = table[code].length;
            out.room_for(current.length);
            out.repeat(table[code].offset, current.length);
        } else if (started && code == next_entry) {
            // The entry being defined: the previous string and its own first byte.
            current.length = previous.length + 1;
            out.room_for(current.length);
            out.repeat(previous.offset, current.length);
        } else {
            result.trailing_error = GnssError::io("corrupt compress stream");
            break;
        }
        if (started && next_entry < table.size()) table[next_entry++] = Span{previous.offset, previous.length + 1};
        previous = current;
        started = true;
    }
    out.finish();
    // The format has no length or checksum; text that stops inside a line was cut.
    if (!result.trailing_error && !result.text.empty() && result.text.back() != '\n')
        result.trailing_error = GnssError::io("unexpected end of file");
    return result;
}

}  // namespace skyrift
