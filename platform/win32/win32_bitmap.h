// Pictures as 32-bit DIB sections whose pixels stay readable: the bird's frames from their BMP
// images, enlargements pixel for pixel, and cursors enlarged the same way.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>

#include "platform/win32/win32_handles.h"

namespace tb::win32 {

// A frame as a DIB section whose pixels stay readable for hit-testing.
struct FrameBitmap {
    UniqueHbitmap bitmap;
    const std::uint32_t* pixels = nullptr;  // owned by `bitmap`; rows as stored
    int width = 0;
    int height = 0;
    bool bottomUp = true;

    // The alpha byte at (x, y) counted from the top-left; 0 outside the frame.
    std::uint8_t AlphaAt(int x, int y) const;
};

// Builds a DIB section from a complete 32-bit uncompressed BMP image. Throws
// SetupError when the image is not one.
FrameBitmap LoadFrameBitmap(std::span<const std::uint8_t> bmp);

// The frame enlarged `factor` times, every pixel a factor x factor block; top-down rows. Throws
// SetupError when the system refuses the bitmap.
FrameBitmap EnlargeFrameBitmap(const FrameBitmap& frame, int factor);

// A view of a 32-bit DIB section such as LoadImage makes with LR_CREATEDIBSECTION; it takes
// ownership. An empty FrameBitmap when the bitmap is not one.
FrameBitmap AdoptDibSection(HBITMAP bitmap);

// The cursor enlarged `factor` times, every pixel of its masks a factor x factor block, the hot
// spot moved with it; null when the system refuses.
UniqueHcursor EnlargeCursor(HCURSOR cursor, int factor);

}  // namespace tb::win32
