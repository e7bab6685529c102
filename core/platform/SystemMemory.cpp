#include "core/platform/SystemMemory.h"

#include <algorithm>
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

// From here, memory is mapped on its own rather than taken from the heap, which would have to
// clear memory asked for as zero and keeps what is freed.
constexpr std::size_t MappedFrom = std::size_t{64} << 10;

void* Mapped(std::size_t bytes)
{
    void* mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        throw std::bad_alloc();
    }
    return mapped;
}

} // namespace
#endif

void* AllocateLarge(std::size_t bytes)
{
#ifdef __linux__
    if (bytes >= LargeFrom) {
        return Mapped(bytes);
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
        munmap(memory, bytes);
        return;
    }
#else
    Q_UNUSED(bytes);
#endif
    std::free(memory);
}

void* AllocateZeroed(std::size_t bytes)
{
#ifdef __linux__
    if (bytes >= MappedFrom) {
        return Mapped(bytes); // a fresh mapping is zero
    }
#endif
    void* memory = std::calloc(std::max<std::size_t>(bytes, 1), 1);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}

void FreeZeroed(void* memory, std::size_t bytes) noexcept
{
    if (memory == nullptr) {
        return;
    }
#ifdef __linux__
    if (bytes >= MappedFrom) {
        munmap(memory, bytes);
        return;
    }
#else
    Q_UNUSED(bytes);
#endif
    std::free(memory);
}
