#pragma once
// Large buffers filled once from start to end (whole files, observation arrays)
// fault in far faster as transparent huge pages; the advice is harmless elsewhere.
// And the pages of a large buffer already copied elsewhere can go before the buffer does.
#include <cstddef>
#include <cstdint>

#include <malloc.h>
#include <sys/mman.h>

namespace skyrift {

inline void advise_huge_pages(const void* data, std::size_t bytes) {
    constexpr std::uintptr_t kHuge = std::uintptr_t{1} << 21;
    if (bytes < 2 * kHuge) return;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kHuge - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

// Gives the whole pages inside [data, data + bytes) back to the system; they read as
// zeros afterwards. For a block whose contents are no longer needed (copied elsewhere)
// but which is freed only later.
inline void release_pages(const void* data, std::size_t bytes) {
    constexpr std::uintptr_t kPage = 4096;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kPage - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
}

// Hands the allocator's free memory back to the system: after a read whose text passed
// through many short-lived pieces (freed on other threads' arenas), so that what stays
// resident is what the result holds.
inline void release_free_memory() { malloc_trim(0); }

}  // namespace skyrift
