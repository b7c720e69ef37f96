#pragma once
// Reading a whole file into memory, the first step of every reader.
#include <string>

#include "utils/result.hpp"

namespace skyrift {

// The file's bytes, or an Io error with the system's text. A name holding a NUL
// byte is an Io error too: the system would open the name cut at the NUL.
Result<std::string> read_whole_file(const std::string& path);

}  // namespace skyrift
