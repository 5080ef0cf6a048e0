#include "platform/x11/pixel_format.h"

#include <bit>

namespace tb::linux_desktop::x11 {
namespace {

// Places an 8-bit value in `mask`.
struct Channel {
    explicit Channel(std::uint32_t mask)
        : shift(mask == 0 ? 0 : std::countr_zero(mask)), bits(std::popcount(mask)), mask_(mask) {}
    std::uint32_t Place(std::uint32_t value8) const {
        if (bits == 0) {
            return 0;
        }
        const std::uint32_t v = bits >= 8 ? value8 << (bits - 8) : value8 >> (8 - bits);
        return (v << shift) & mask_;
    }
    int shift;
    int bits;

  private:
    std::uint32_t mask_;
};

}  // namespace

void PackPixels(std::span<const std::uint32_t> argb, const PixelFormat& format,
                std::span<std::uint32_t> out) {
    const Channel red(format.redMask);
    const Channel green(format.greenMask);
    const Channel blue(format.blueMask);
    const std::uint32_t colour = format.redMask | format.greenMask | format.blueMask;
    const Channel alpha(format.depth == 32 ? ~colour : 0u);
    for (std::size_t i = 0; i < argb.size() && i < out.size(); ++i) {
        const std::uint32_t p = argb[i];
        out[i] = alpha.Place(p >> 24) | red.Place((p >> 16) & 0xff) | green.Place((p >> 8) & 0xff) |
                 blue.Place(p & 0xff);
    }
}

}  // namespace tb::linux_desktop::x11
