// Drawing an integer from a closed range.
#include "desktop/random_between.h"

#include <cmath>

namespace tb {

std::int32_t RandomBetween(RandomSource& random, std::int32_t low, std::int32_t high) {
    const float r = random.NextSingle();  // [0, 1)
    const std::int32_t n = high - low + 1;
    // Widening r before the product keeps r just below 1 from rounding up to n.
    const double v = std::floor(static_cast<double>(r) * static_cast<double>(n));
    return static_cast<std::int32_t>(v) + low;
}

}  // namespace tb
