#pragma once
// DOS tools ended text files with a Ctrl-Z byte (0x1A) after the last line; archives
// still hold such files. The mark is no text: a reader stops there when nothing but
// line ends follows it.

namespace skyrift {

inline constexpr char kEndOfFileMark = '\x1a';

}  // namespace skyrift
