#pragma once
// Reading a whole file into memory, the first step of every reader.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "io/piece_source.hpp"
#include "utils/result.hpp"

namespace skyrift {

// The file's bytes, or an Io error with the system's text. A name holding a NUL
// byte is an Io error too: the system would open the name cut at the NUL.
Result<std::string> read_whole_file(const std::string& path);

// An open file read a piece at a time, so that a large file is never held whole: the
// first piece is read on opening (its size tells a small file, read whole, from a
// large one), then one piece per next(). A read that fails midway is the source's failure.
class FileChunks : public PieceSource {
public:
    ~FileChunks() override;
    static Result<std::unique_ptr<FileChunks>> open(const std::string& path, std::size_t piece_size);

    bool next(std::string_view& piece) override;
    std::optional<GnssError> failure() override { return failure_; }

    // The first piece (not yet handed out) and the file's size and last bytes as fstat
    // and one read from the end see them (a file that is not a regular file has none).
    std::string_view first() const { return buffer_; }
    bool whole_in_first() const { return at_end_; }
    std::size_t size() const { return size_; }
    std::string_view tail() const { return tail_; }
    // The rest of the file after the first piece, appended to it: a small file read whole.
    Result<std::string> read_rest();

private:
    FileChunks(int fd, std::size_t piece_size) : fd_(fd), piece_size_(piece_size) {}
    bool fill();

    int fd_;
    std::size_t piece_size_;
    std::string buffer_;
    bool first_given_ = false;
    bool at_end_ = false;
    std::size_t size_ = 0;
    std::string tail_;
    std::optional<GnssError> failure_;
};

}  // namespace skyrift
