// Rounding and conversion helpers. Every formula of the library rounds through these, so that the
// results are the same on every machine:
//   Round  to nearest, ties to even (2.5 -> 2, 3.5 -> 4), as the default floating-point mode does;
//   Trunc  toward zero;
// Integer division is C++ '/' (toward zero) and the remainder is '%'. Values outside the range of
// the result type saturate instead of being undefined; NaN gives 0.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace corvex {

namespace detail {
template <class I, class F>
inline I SaturateToInt(F v) {
  // Compare in the floating type; the bounds are exact powers of two for int32 and int64.
  constexpr F lo = static_cast<F>(std::numeric_limits<I>::min());
  constexpr F hi = -lo;  // 2^31 or 2^63, one past the maximum
  if (!(v == v)) return 0;
  if (v < lo) return std::numeric_limits<I>::min();
  if (v >= hi) return std::numeric_limits<I>::max();
  return static_cast<I>(v);
}
}  // namespace detail

// Round to nearest, ties to even.
inline int32_t Round(double x) { return detail::SaturateToInt<int32_t>(std::nearbyint(x)); }
inline int64_t Round64(double x) { return detail::SaturateToInt<int64_t>(std::nearbyint(x)); }
inline int32_t Round(float x) { return detail::SaturateToInt<int32_t>(std::nearbyint(x)); }

// Truncate toward zero.
inline int32_t Trunc(double x) { return detail::SaturateToInt<int32_t>(std::trunc(x)); }
inline int64_t Trunc64(double x) { return detail::SaturateToInt<int64_t>(std::trunc(x)); }
inline int32_t Trunc(float x) { return detail::SaturateToInt<int32_t>(std::trunc(x)); }

// Fractional part with the sign of x (x - Trunc(x)).
inline double Frac(double x) { return x - std::trunc(x); }

}  // namespace corvex
