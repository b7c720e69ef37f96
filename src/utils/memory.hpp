#pragma once
// Large buffers filled once from start to end (whole files, observation arrays)
// fault in far faster as transparent huge pages; the advice is harmless elsewhere.
#include <cstddef>
#include <cstdint>

#include <sys/mman.h>

namespace skyrift {

inline void advise_huge_pages(const void* data, std::size_t bytes) {
    constexpr std::uintptr_t kHuge = std::uintptr_t{1} << 21;
    if (bytes < 2 * kHuge) return;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kHuge - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace skyrift
