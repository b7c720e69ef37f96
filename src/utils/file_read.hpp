#pragma once
// Reading a whole file into memory, the first step of every reader.
#include <string>

#include "utils/result.hpp"

namespace skyrift {

// The file's bytes, or an Io error with the system's text. Callers check the path
// (existence, NUL bytes) first where their messages differ.
Result<std::string> read_whole_file(const std::string& path);

}  // namespace skyrift
