#pragma once
#include <limits>

namespace ltide {

// Written into operator elements whose formula has a zero denominator.
inline constexpr double HUGE_VALUE = std::numeric_limits<double>::max();

// pi rounded to single precision and widened: every degree-to-radian conversion uses
// this value, so results differ from exact-pi ones in the eighth significant digit.
inline constexpr double PI = static_cast<double>(3.14159265358979323846F);
static_assert(PI == 3.1415927410125732);

// 4 pi rounded to single precision and widened, the spherical-harmonic normalisation.
inline constexpr double FOUR_PI = static_cast<double>(12.566370614359172F);
static_assert(FOUR_PI == 12.566370964050293);

}  // namespace ltide
