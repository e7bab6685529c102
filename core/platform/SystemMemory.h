#pragma once

#include <QtGlobal>

#include <cstddef>
#include <vector>

// The machine's physical memory in bytes; 0 when the system does not say.
qint64 PhysicalMemoryBytes();

// Memory for a large array that is written through once, as a long list's keys are: a mapping of
// its own, whose pages are made only as they are first written and all go back to the system when
// it is freed, so a list reserved for as many rows as it may hold costs only the rows it holds.
// Ordinary pages: huge ones were tried, and on a virtual machine whose host takes free memory back
// each cost seven times the small pages it stands for, where elsewhere they saved a little; and
// on a desktop long in use the system may stop to defragment memory for them. Sizes below LargeFrom
// come from the usual heap.
constexpr std::size_t LargeFrom = std::size_t{2} << 20;
void* AllocateLarge(std::size_t bytes);
// Gives back what AllocateLarge gave for the same size.
void FreeLarge(void* memory, std::size_t bytes) noexcept;

// Memory that reads as zero, whose pages are made only as they are written: a column's spans, of
// which a screenful here and there may be all that is ever written.
void* AllocateZeroed(std::size_t bytes);
// Gives back what AllocateZeroed gave for the same size.
void FreeZeroed(void* memory, std::size_t bytes) noexcept;

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
