// Unit conversions the forms runtime performs: twips, HIMETRIC, pixels, and the
// round-half-to-even rule every fractional result goes through.
#pragma once

#include <cmath>
#include <cstdint>

namespace tb {

inline constexpr double kTwipsPerInch = 1440.0;
inline constexpr double kHimetricPerInch = 2540.0;

// Rounds to the nearest integer, ties to even (banker's rounding), as the forms runtime does.
inline std::int32_t RoundHalfEven(double v) {
    const double r = std::nearbyint(v);  // default FE_TONEAREST mode rounds ties to even
    return static_cast<std::int32_t>(r);
}

// Twips per pixel for a logical resolution: 15 at 96 DPI, 12 at 120 DPI.
inline float TwipsPerPixelForDpi(int dpi) {
    return static_cast<float>(kTwipsPerInch / dpi);
}

// Logical DPI back from a twips-per-pixel factor.
inline double DpiForTwipsPerPixel(float twipsPerPixel) {
    return kTwipsPerInch / twipsPerPixel;
}

// Length in pixels -> twips, rounded half to even.
inline std::int32_t PixelsToTwips(std::int32_t pixels, float twipsPerPixel) {
    return RoundHalfEven(static_cast<double>(pixels) * twipsPerPixel);
}

// Length in twips -> pixels, rounded half to even.
inline std::int32_t TwipsToPixels(double twips, float twipsPerPixel) {
    return RoundHalfEven(twips / twipsPerPixel);
}

// A picture's stored HIMETRIC length for a pixel length at a resolution (whole units).
inline std::int32_t PixelsToHimetric(std::int32_t pixels, double dpi) {
    return RoundHalfEven(pixels * kHimetricPerInch / dpi);
}

// HIMETRIC -> pixels as a single-precision value (rounding is the caller's).
inline float HimetricToPixels(std::int32_t himetric, double dpi) {
    return static_cast<float>(static_cast<float>(himetric) * dpi / kHimetricPerInch);
}

}  // namespace tb
