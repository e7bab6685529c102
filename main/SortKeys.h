#pragma once

#include <QCollator>
#include <QStringView>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "core/platform/SystemMemory.h"

// Each row's place in a list's order, as many as its rows.
using RowPlaces = LargeVector<std::uint32_t>;

// Orders many texts by a collation at once. QCollator's keys cost two allocations each and a
// comparison two pointer chases, which made sorting a million names mostly cache misses; these
// keys are the same collation's bytes, kept in one block with their first bytes beside the row,
// so most comparisons never leave the sorted array.
//
// The collation is the one the QCollator given would use (its locale, case sensitivity, numeric
// mode and punctuation), so an order made here agrees with QCollator::compare.
class SortKeys
{
public:
    // From this many texts on, keys are made and sorted on two threads, and the collation's
    // shortcuts are worth learning.
    static constexpr std::size_t LongList = 20000;

    explicit SortKeys(const QCollator& like);
    ~SortKeys();
    SortKeys(const SortKeys&) = delete;
    SortKeys& operator=(const SortKeys&) = delete;

    // <0, 0 or >0 as a sorts before, with or after b.
    int Compare(QStringView a, QStringView b) const;

    // Each of count texts' place among all: equal texts share the place of the first of them, so
    // places run from 0 and tie-break nothing themselves. text(i) gives the i-th text; it is called
    // from two threads at once, for different i.
    RowPlaces Ranks(std::size_t count, const std::function<QString(std::size_t)>& text) const;

    // Keys made a text at a time, on whichever thread holds the maker, for texts handed over as
    // they come; then ranked with the keys of the others. count says about how many texts there
    // will be in all: a long list is worth learning the collation's shortcuts for.
    class Maker
    {
    public:
        Maker(const SortKeys& keys, std::size_t count);
        ~Maker();
        Maker(Maker&&) noexcept;
        Maker(const Maker&) = delete;
        Maker& operator=(const Maker&) = delete;
        Maker& operator=(Maker&&) = delete;

        void Add(std::size_t index, QStringView text);

    private:
        friend class SortKeys;
        struct Part;
        std::unique_ptr<Part> m_part;
    };

    // The places of count texts, numbered 0..count-1, whose keys the makers made between them,
    // each text's once. The makers are emptied.
    static RowPlaces Ranks(std::vector<Maker>& makers, std::size_t count);

    struct PlainKeys;

private:
    const PlainKeys& Plain(std::size_t count) const;

    struct Collator;
    std::unique_ptr<Collator> m_collator;
    mutable std::once_flag m_plainLearnt;
    mutable std::shared_ptr<const PlainKeys> m_plain;
};
