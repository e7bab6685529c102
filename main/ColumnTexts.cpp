#include "main/ColumnTexts.h"

#include <cstring>

// Not new[]: a large block comes straight from the system, already zero, and none of its pages is
// touched until a row's span is written into it.
std::unique_ptr<ColumnTexts::Span[], ColumnTexts::Free> ColumnTexts::Zeroed(std::size_t size)
{
    return {static_cast<Span*>(AllocateZeroed(size * sizeof(Span))), Free{size}};
}

void ColumnTexts::Free::operator()(Span* spans) const
{
    FreeZeroed(spans, count * sizeof(Span));
}

void ColumnTexts::Grow(std::size_t size)
{
    if (size > m_capacity) {
        const std::size_t capacity = std::max(size, m_capacity + m_capacity / 2);
        std::unique_ptr<Span[], Free> grown = Zeroed(capacity);
        if (m_size > 0) {
            std::memcpy(grown.get(), m_spans.get(), m_size * sizeof(Span));
        }
        m_spans = std::move(grown);
        m_capacity = capacity;
    }
    m_size = size; // nothing was ever written past the old size: it is still zero
}

void ColumnTexts::TakeBlocks(std::vector<Block> blocks, std::size_t placing)
{
    Clear();
    if (placing > 0) {
        m_spans = Zeroed(placing);
        m_capacity = placing;
    }
    std::size_t start = 0;
    for (Block& block : blocks) {
        if (block.empty()) {
            continue; // a text at its offset is empty, and lies at the end of the block before
        }
        m_starts.push_back(start);
        start += block.size();
        m_blocks.push_back(std::move(block));
    }
    m_taken = true;
}

void ColumnTexts::InsertMissing(std::size_t at)
{
    if (at >= m_size) {
        return; // rows past the end are not read already
    }
    Grow(m_size + 1);
    std::memmove(m_spans.get() + at + 1, m_spans.get() + at, (m_size - 1 - at) * sizeof(Span));
    m_spans[at] = {0, 0};
}

void ColumnTexts::Permute(const std::vector<int>& order)
{
    if (m_size == 0) {
        return;
    }
    std::unique_ptr<Span[], Free> permuted = Zeroed(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        const auto from = static_cast<std::size_t>(order[i]);
        if (from < m_size) {
            permuted[i] = m_spans[from];
        }
    }
    m_spans = std::move(permuted);
    m_size = order.size();
    m_capacity = m_size;
}

void ColumnTexts::Clear()
{
    m_bytes = {};
    m_blocks = {};
    m_starts = {};
    m_beside = {};
    m_taken = false;
    m_spans.reset();
    m_size = 0;
    m_capacity = 0;
}
