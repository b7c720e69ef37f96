#include "io/file_read.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "utils/memory.hpp"

namespace skyrift {

namespace {

ssize_t read_some(int fd, char* into, std::size_t size) {
    ssize_t n = 0;
    do {
        n = ::read(fd, into, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

// Reads everything from an open descriptor into a buffer sized by fstat, which is
// only a first guess (the file may grow, or report no size at all).
Result<std::string> read_all(int fd) {
    struct stat st {};
    std::string data;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        data.reserve(static_cast<std::size_t>(st.st_size));
        advise_huge_pages(data.data(), data.capacity());
        data.resize(static_cast<std::size_t>(st.st_size));
    }
    std::size_t filled = 0;
    for (;;) {
        if (filled == data.size()) {
            // Full: look for more through a small buffer before growing the big one.
            char probe[65536];
            const ssize_t n = read_some(fd, probe, sizeof probe);
            if (n < 0) return GnssError::io_errno(errno);
            if (n == 0) break;
            data.resize(std::max(data.size() * 2, filled + static_cast<std::size_t>(n)));
            std::memcpy(data.data() + filled, probe, static_cast<std::size_t>(n));
            filled += static_cast<std::size_t>(n);
            continue;
        }
        const ssize_t n = read_some(fd, data.data() + filled, data.size() - filled);
        if (n < 0) return GnssError::io_errno(errno);
        if (n == 0) break;
        filled += static_cast<std::size_t>(n);
    }
    data.resize(filled);
    return data;
}

}  // namespace

namespace {

Result<int> open_path(const std::string& path) {
    if (path.find('\0') != std::string::npos) return GnssError::io("file name contained an unexpected NUL byte");
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return GnssError::io_errno(errno);
    return fd;
}

}  // namespace

Result<std::string> read_whole_file(const std::string& path) {
    auto fd = open_path(path);
    if (!fd) return fd.error();
    auto bytes = read_all(*fd);
    ::close(*fd);
    return bytes;
}

FileChunks::~FileChunks() { ::close(fd_); }

Result<std::unique_ptr<FileChunks>> FileChunks::open(const std::string& path, std::size_t piece_size) {
    auto fd = open_path(path);
    if (!fd) return fd.error();
    std::unique_ptr<FileChunks> file(new FileChunks(*fd, piece_size));
    struct stat st {};
    if (fstat(*fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        file->size_ = static_cast<std::size_t>(st.st_size);
        char last[8];
        const std::size_t want = std::min(sizeof last, file->size_);
        const ssize_t n = ::pread(*fd, last, want, static_cast<off_t>(file->size_ - want));
        if (n > 0) file->tail_.assign(last, static_cast<std::size_t>(n));
    }
    if (!file->fill()) return *file->failure_;
    return file;
}

// Reads the next piece into the buffer; false on a failure.
bool FileChunks::fill() {
    buffer_.resize(piece_size_);
    std::size_t filled = 0;
    while (filled < buffer_.size()) {
        const ssize_t n = read_some(fd_, buffer_.data() + filled, buffer_.size() - filled);
        if (n < 0) {
            failure_ = GnssError::io_errno(errno);
            at_end_ = true;
            buffer_.resize(filled);
            return false;
        }
        if (n == 0) {
            at_end_ = true;
            break;
        }
        filled += static_cast<std::size_t>(n);
    }
    buffer_.resize(filled);
    return true;
}

bool FileChunks::next(std::string_view& piece) {
    if (!first_given_) {
        first_given_ = true;
    } else {
        if (at_end_) return false;
        fill();
    }
    if (buffer_.empty()) return false;
    piece = buffer_;
    return true;
}

Result<std::string> FileChunks::read_rest() {
    std::string rest = std::move(buffer_);
    buffer_.clear();
    first_given_ = true;
    if (!at_end_) {
        auto more = read_all(fd_);
        if (!more) return more.error();
        rest += *more;
        at_end_ = true;
    }
    return rest;
}

}  // namespace skyrift
