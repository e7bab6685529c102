#pragma once

#include <QtGlobal>

#include <cstddef>
#include <vector>

// The machine's physical memory in bytes; 0 when the system does not say.
qint64 PhysicalMemoryBytes();

// Memory for a large array that is written through once, as a long list's keys are: where the
// system allows, in huge pages, so that a hundred megabytes come in a few dozen steps rather than
// in tens of thousands of page faults, each of which costs about as much as making a row's sort
// key. Sizes below LargeFrom come from the usual heap.
constexpr std::size_t LargeFrom = std::size_t{2} << 20;
void* AllocateLarge(std::size_t bytes);
// Gives back what AllocateLarge gave for the same size.
void FreeLarge(void* memory, std::size_t bytes) noexcept;

// Memory that reads as zero. whole: every byte of it will be written, so a large block comes in
// huge pages. Otherwise it is written here and there, and its pages come one by one as they are
// written: a huge page zeroed for each text of a screenful would cost more than small ones.
void* AllocateZeroed(std::size_t bytes, bool whole);
// Gives back what AllocateZeroed gave for the same size and whole.
void FreeZeroed(void* memory, std::size_t bytes, bool whole) noexcept;

template <class T> struct LargeAllocator
{
    using value_type = T;
    LargeAllocator() = default;
    template <class U> LargeAllocator(const LargeAllocator<U>& /*other*/) noexcept {}
    T* allocate(std::size_t n) { return static_cast<T*>(AllocateLarge(n * sizeof(T))); }
    void deallocate(T* memory, std::size_t n) noexcept { FreeLarge(memory, n * sizeof(T)); }
    template <class U> bool operator==(const LargeAllocator<U>& /*other*/) const noexcept { return true; }
};

template <class T> using LargeVector = std::vector<T, LargeAllocator<T>>;
