#pragma once
// A stretch of a text by byte offsets, and where a position falls among sorted stretches.

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <span>

struct TTextSpan {
    std::size_t Begin;  // the first byte
    std::size_t End;    // one past the last
};

// The end of the span that holds Pos, of sorted, non-overlapping spans; 0 when none holds it.
inline std::size_t SpanEndAt(std::span<const TTextSpan> Spans, std::size_t Pos)
{
    const auto it = std::upper_bound(Spans.begin(), Spans.end(), Pos,
                                     [](std::size_t p, const TTextSpan& s) { return p < s.Begin; });
    return it != Spans.begin() && Pos < std::prev(it)->End ? std::prev(it)->End : 0;
}

inline bool InSpans(std::span<const TTextSpan> Spans, std::size_t Pos)
{
    return SpanEndAt(Spans, Pos) != 0;
}
