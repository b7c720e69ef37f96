#pragma once
// The decoder stages of the input layer, and the seam a new input format plugs into.
//
// A stage turns bytes into bytes: gzip turns a compressed file into its content, a
// compact-text format would turn its text into plain text. `decode_input`
// (io/input.hpp) walks the stage table (kDecoderStages in io/input.cpp) once, in
// table order; every stage that recognises the data decodes it, and the next stage
// sees the result. Byte containers therefore come before text formats in the table,
// so that a compact-text file inside gzip is unpacked first and expanded second.
//
// Adding a format:
//   1. write `bool recognises_x(std::string_view file_name, std::string_view data)`:
//      by content where the format has a signature (the first bytes of `data`, or
//      its first line), by `file_name` only where the rule for it says so (gzip);
//   2. write `TextBuffer decode_x(std::string_view data)` in io/<format>.cpp: on
//      damage it returns what it decoded before the damage with the error in
//      `trailing_error` (never throws, never returns nothing silently);
//   3. declare both below and add {"x", recognises_x, decode_x} to the table.
// Readers never learn about the new format; they see lines of text as before. A
// faster implementation of an existing format (another inflater) replaces the
// body of its decode function and keeps its contract.
//
// Decoding beside the reader: a stage may also offer `decode_stream`, the same decoding
// reading its input piece by piece (io/piece_source.hpp) and handing its text to a
// TextStream piece by piece (io/text_stream.hpp), with `text_start` (the first kTextStart
// bytes of its text, from the first bytes of its input, for the stages after it to
// recognise) and `text_size` (a guess of the whole size from the input's size and last
// bytes). A large input then runs through every such stage at once, each on a thread of
// its own, while the reader parses.
//
// When an earlier stage failed part-way, a later stage sees only the data before
// the damage; the earlier failure is the one reported after the decoded lines
// (the pipeline keeps it), whatever the later stage says about the cut input.
#include <cstddef>
#include <string>
#include <string_view>

#include "io/text_buffer.hpp"

namespace skyrift {

class PieceSource;
class TextStream;

struct DecoderStage {
    const char* name;
    bool (*recognises)(std::string_view file_name, std::string_view data);
    TextBuffer (*decode)(std::string_view data);
    // Optional, all three or none (see above).
    void (*decode_stream)(PieceSource& data, TextStream& out) = nullptr;
    std::string (*text_start)(std::string_view data_start) = nullptr;
    std::size_t (*text_size)(std::size_t data_size, std::string_view data_tail) = nullptr;
};

// Enough of a decoded text to recognise any format by its start.
inline constexpr std::size_t kTextStart = 4096;

// gzip (RFC 1952), chosen by the name: the last path component's extension is
// exactly "gz" (a name whose only "." comes first, and "..", have no extension).
bool has_gzip_extension(std::string_view path);
bool recognises_gzip(std::string_view file_name, std::string_view data);

// Decompresses every gzip member; bytes after the last member that do not start a
// new member are ignored. Damage ends the text there with an Io trailing error:
// "invalid gzip header", "corrupt deflate stream", "unexpected end of file" or
// "corrupt gzip stream does not have a matching checksum".
TextBuffer inflate_gzip(std::string_view compressed);
void inflate_gzip_stream(PieceSource& compressed, TextStream& out);
std::string gzip_text_start(std::string_view compressed_start);
std::size_t gzip_text_size(std::size_t compressed_size, std::string_view compressed_tail);

// Unix compress (.Z), by its magic bytes 1F 9D whatever the name (io/unix_compress.hpp).
bool recognises_compress(std::string_view file_name, std::string_view data);

// Compact RINEX (Hatanaka), by its first header line (io/crinex.hpp).
bool recognises_crinex(std::string_view file_name, std::string_view data);
void expand_crinex_stream(PieceSource& text, TextStream& out);
std::string crinex_text_start(std::string_view text_start);
std::size_t crinex_text_size(std::size_t text_size, std::string_view text_tail);

}  // namespace skyrift
