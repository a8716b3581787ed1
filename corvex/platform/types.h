// Plane geometry records of the toolkit: points, sizes and rectangles in integer pixels.
// A rectangle's right and bottom edges are exclusive.
#pragma once

#include <cstdint>

namespace corvex {

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
  bool operator==(const TPoint&) const = default;
};

struct TSize {
  int32_t cx = 0;
  int32_t cy = 0;
  bool operator==(const TSize&) const = default;
};

struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;

  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  bool Contains(TPoint p) const { return p.X >= Left && p.X < Right && p.Y >= Top && p.Y < Bottom; }
  TPoint TopLeft() const { return {Left, Top}; }
  TPoint BottomRight() const { return {Right, Bottom}; }
  bool operator==(const TRect&) const = default;
};

inline TPoint Point(int32_t x, int32_t y) { return {x, y}; }
inline TRect Rect(int32_t l, int32_t t, int32_t r, int32_t b) { return {l, t, r, b}; }
inline TRect Bounds(int32_t l, int32_t t, int32_t w, int32_t h) { return {l, t, l + w, t + h}; }

// The overlap of two rectangles; empty (all zero) when they do not overlap.
TRect IntersectRect(const TRect& a, const TRect& b);
// The smallest rectangle holding both; an empty rectangle does not count.
TRect UnionRect(const TRect& a, const TRect& b);
TRect OffsetRect(const TRect& r, int32_t dx, int32_t dy);

}  // namespace corvex
