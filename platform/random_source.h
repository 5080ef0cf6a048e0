// The program's one uniform random source, never seeded.
#pragma once

#include <cstdint>

namespace tb {

class RandomSource {
  public:
    virtual ~RandomSource() = default;
    // The next single-precision value r, 0 <= r < 1.
    virtual float NextSingle() = 0;
};

// 24-bit linear congruential generator: starts at 0x50000 on every run, so the pecking rhythm is
// the same on every run. state = (state * 0x43FD43FD + 0xC39EC3) mod 2^24; returns state / 2^24.
class Lcg24Random final : public RandomSource {
  public:
    float NextSingle() override {
        state_ = (state_ * 0x43FD43FDu + 0xC39EC3u) & 0xFFFFFFu;
        return static_cast<float>(state_) / 16777216.0f;
    }

  private:
    std::uint32_t state_ = 0x50000;
};

}  // namespace tb
