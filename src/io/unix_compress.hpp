#pragma once
// Unix `compress` (.Z) files: LZW codes of 9 to 16 bits behind the magic bytes 1F 9D.
#include <string_view>

#include "io/text_buffer.hpp"

namespace skyrift {

// True when the data starts with the .Z magic bytes.
bool has_compress_magic(std::string_view data);

// The decompressed bytes. Damage ends the text there with an Io trailing error:
// "invalid compress header" or "corrupt compress stream". The format has no
// length or checksum: text that ends inside a line was cut ("unexpected end of
// file"); a file cut exactly at a line end reads as a shorter file.
TextBuffer uncompress_lzw(std::string_view compressed);

}  // namespace skyrift
