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

Result<std::string> read_whole_file(const std::string& path) {
    if (path.find('\0') != std::string::npos) return GnssError::io("file name contained an unexpected NUL byte");
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return GnssError::io_errno(errno);
    auto bytes = read_all(fd);
    ::close(fd);
    return bytes;
}

}  // namespace skyrift
