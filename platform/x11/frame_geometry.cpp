#include "platform/x11/frame_geometry.h"

#include <algorithm>

namespace tb::linux_desktop::x11 {
namespace {

std::int64_t Cardinal(long value) {
    return static_cast<std::int64_t>(static_cast<std::uint32_t>(static_cast<unsigned long>(value)));
}

}  // namespace

std::int32_t ClampToXCoordinate(std::int64_t value) {
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(value, kMinXCoordinate, kMaxXCoordinate));
}

Rect VisibleFrame(std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height,
                  const std::optional<FrameExtents>& windowManagerFrame,
                  const std::optional<FrameExtents>& clientShadows) {
    std::int64_t left = x;
    std::int64_t top = y;
    std::int64_t right = x + std::max<std::int64_t>(width, 0);
    std::int64_t bottom = y + std::max<std::int64_t>(height, 0);
    if (windowManagerFrame) {
        left -= Cardinal(windowManagerFrame->left);
        right += Cardinal(windowManagerFrame->right);
        top -= Cardinal(windowManagerFrame->top);
        bottom += Cardinal(windowManagerFrame->bottom);
    }
    if (clientShadows) {
        left += Cardinal(clientShadows->left);
        right -= Cardinal(clientShadows->right);
        top += Cardinal(clientShadows->top);
        bottom -= Cardinal(clientShadows->bottom);
    }
    Rect rect;
    rect.Left = ClampToXCoordinate(left);
    rect.Top = ClampToXCoordinate(top);
    rect.Right = std::max(rect.Left, ClampToXCoordinate(right));
    rect.Bottom = std::max(rect.Top, ClampToXCoordinate(bottom));
    return rect;
}

}  // namespace tb::linux_desktop::x11
