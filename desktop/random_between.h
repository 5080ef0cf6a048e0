// Every random draw the program makes: an integer from a closed range.
#pragma once

#include <cstdint>

#include "platform/random_source.h"

namespace tb {

// A value in [low, high]; the range must have a positive size that fits in 32 bits.
std::int32_t RandomBetween(RandomSource& random, std::int32_t low, std::int32_t high);

}  // namespace tb
