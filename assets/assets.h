// The pictures built into the program, generated at build time from the text art in assets/.
#pragma once

#include <cstdint>
#include <span>

namespace tb::assets {

using Bytes = std::span<const std::uint8_t>;

inline constexpr int kFrameCount = 6;
inline constexpr int kFrameWidth = 43;
inline constexpr int kFrameHeight = 71;

// Frame `index` (1..6) as a complete 12268-byte 32-bit bottom-up BMP image.
Bytes FrameBmp(int index);

// The application icon group (.ico, 7 images) and the About window's icon (.ico, 6 images).
Bytes AppIconIco();
Bytes AboutIconIco();

// The 32 x 32 monochrome hand cursor (.cur), hot spot at (5, 0).
Bytes HandCursorCur();
inline constexpr int kHandHotspotX = 5;
inline constexpr int kHandHotspotY = 0;

// The 62 x 31 donate button as a 32-bit BMP and as a PNG.
Bytes DonateBmp();
Bytes DonatePng();

// PNG renderings for toolkits that want them: the application icon at 16, 32, 48, 128 or 256 px,
// the About icon at 16, 32 or 48 px, the hand cursor at 32 px. An unknown size gives an empty span.
Bytes AppIconPng(int size);
Bytes AboutIconPng(int size);
Bytes HandCursorPng();

}  // namespace tb::assets
