#include "core/platform/SystemMemory.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/mman.h>
#endif

qint64 PhysicalMemoryBytes()
{
#ifdef _WIN32
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    return GlobalMemoryStatusEx(&status) ? static_cast<qint64>(status.ullTotalPhys) : 0;
#else
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0 ? static_cast<qint64>(pages) * pageSize : 0;
#endif
}

#ifdef __linux__
namespace {

// Whole huge pages, so that nothing else shares one.
std::size_t Rounded(std::size_t bytes)
{
    return (bytes + LargeFrom - 1) / LargeFrom * LargeFrom;
}

} // namespace
#endif

void* AllocateLarge(std::size_t bytes)
{
#ifdef __linux__
    if (bytes >= LargeFrom) {
        // A mapping of its own, a huge page larger and then trimmed to start
        // on a huge page's boundary: the system backs only aligned stretches with huge pages.
        // Memory from the heap would not do: its pages are made writable a few at a time.
        const std::size_t size = Rounded(bytes);
        void* mapped = mmap(nullptr, size + LargeFrom, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) {
            throw std::bad_alloc();
        }
        const auto start = reinterpret_cast<std::uintptr_t>(mapped);
        const std::uintptr_t aligned = (start + LargeFrom - 1) / LargeFrom * LargeFrom;
        if (aligned > start) {
            munmap(mapped, aligned - start);
        }
        const std::uintptr_t end = start + size + LargeFrom;
        if (end > aligned + size) {
            munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
        }
        void* memory = reinterpret_cast<void*>(aligned);
        madvise(memory, size, MADV_HUGEPAGE); // a hint: where it is refused, ordinary pages serve
        return memory;
    }
#endif
    void* memory = std::malloc(std::max<std::size_t>(bytes, 1));
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}

void FreeLarge(void* memory, std::size_t bytes) noexcept
{
    if (memory == nullptr) {
        return;
    }
#ifdef __linux__
    if (bytes >= LargeFrom) {
        munmap(memory, Rounded(bytes));
        return;
    }
#else
    Q_UNUSED(bytes);
#endif
    std::free(memory);
}

#ifdef __linux__
namespace {

// From here, memory written here and there is mapped on its own rather than taken from the heap,
// which would have to clear it.
constexpr std::size_t SparseFrom = std::size_t{64} << 10;

} // namespace
#endif

void* AllocateZeroed(std::size_t bytes, bool whole)
{
#ifdef __linux__
    if (whole && bytes >= LargeFrom) {
        return AllocateLarge(bytes); // a fresh mapping is zero
    }
    if (!whole && bytes >= SparseFrom) {
        void* mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) {
            throw std::bad_alloc();
        }
        return mapped;
    }
#else
    Q_UNUSED(whole);
#endif
    void* memory = std::calloc(std::max<std::size_t>(bytes, 1), 1);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}

void FreeZeroed(void* memory, std::size_t bytes, bool whole) noexcept
{
    if (memory == nullptr) {
        return;
    }
#ifdef __linux__
    if (whole && bytes >= LargeFrom) {
        FreeLarge(memory, bytes);
        return;
    }
    if (!whole && bytes >= SparseFrom) {
        munmap(memory, bytes);
        return;
    }
#else
    Q_UNUSED(bytes);
    Q_UNUSED(whole);
#endif
    std::free(memory);
}
