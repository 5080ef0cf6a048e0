// Frame bitmaps: BMP images checked and copied into DIB sections, and enlargements by whole
// numbers, nearest neighbour, so that pixel art stays sharp.
#include "platform/win32/win32_bitmap.h"

#include <cstring>
#include <utility>

#include "platform/win32/win32_window.h"

namespace tb::win32 {

namespace {

constexpr std::size_t kFileHeaderSize = 14;

std::uint32_t ReadLe32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) |
           static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

std::uint16_t ReadLe16(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

}  // namespace

std::uint8_t FrameBitmap::AlphaAt(int x, int y) const {
    if (pixels == nullptr || x < 0 || y < 0 || x >= width || y >= height) {
        return 0;
    }
    const int row = bottomUp ? height - 1 - y : y;
    return static_cast<std::uint8_t>(pixels[static_cast<std::size_t>(row) * width + x] >> 24);
}

namespace {

// Makes `frame` an empty 32-bit DIB section whose pixels stay readable, and returns them for
// filling; a negative height stores the rows top down.
std::uint32_t* NewFrameBitmap(int width, int height, FrameBitmap& frame) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    frame.bitmap.reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!frame.bitmap || bits == nullptr) {
        throw SetupError("Cannot create the bird's frame bitmaps.", ::GetLastError());
    }
    frame.pixels = static_cast<const std::uint32_t*>(bits);
    frame.width = width;
    frame.height = height < 0 ? -height : height;
    frame.bottomUp = height > 0;
    return static_cast<std::uint32_t*>(bits);
}

}  // namespace

FrameBitmap LoadFrameBitmap(std::span<const std::uint8_t> bmp) {
    const auto fail = [](const char* why) {
        char message[96];
        ::wsprintfA(message, "A built-in frame image is damaged: %s.", why);
        return SetupError(message);
    };
    if (bmp.size() < kFileHeaderSize + sizeof(BITMAPINFOHEADER) || bmp[0] != 'B' || bmp[1] != 'M') {
        throw fail("no BMP header");
    }
    const std::uint32_t pixelOffset = ReadLe32(bmp, 10);
    const std::uint32_t headerSize = ReadLe32(bmp, kFileHeaderSize);
    const auto width = static_cast<std::int32_t>(ReadLe32(bmp, kFileHeaderSize + 4));
    const auto height = static_cast<std::int32_t>(ReadLe32(bmp, kFileHeaderSize + 8));
    const std::uint16_t bitCount = ReadLe16(bmp, kFileHeaderSize + 14);
    const std::uint32_t compression = ReadLe32(bmp, kFileHeaderSize + 16);
    if (headerSize < sizeof(BITMAPINFOHEADER) || bitCount != 32 || compression != BI_RGB) {
        throw fail("not a 32-bit uncompressed image");
    }
    if (width <= 0 || width > 4096 || height == 0 || height < -4096 || height > 4096) {
        throw fail("impossible size");
    }
    const int rows = height < 0 ? -height : height;
    const std::size_t pixelBytes = static_cast<std::size_t>(width) * rows * 4;
    if (pixelOffset > bmp.size() || bmp.size() - pixelOffset < pixelBytes) {
        throw fail("pixels missing");
    }

    FrameBitmap frame;
    std::memcpy(NewFrameBitmap(width, height, frame), bmp.data() + pixelOffset, pixelBytes);
    ::GdiFlush();
    return frame;
}

FrameBitmap EnlargeFrameBitmap(const FrameBitmap& frame, int factor) {
    FrameBitmap big;
    std::uint32_t* out = NewFrameBitmap(frame.width * factor, -frame.height * factor, big);
    for (int y = 0; y < big.height; ++y) {
        const int sourceRow = frame.bottomUp ? frame.height - 1 - y / factor : y / factor;
        const std::uint32_t* in = frame.pixels + static_cast<std::size_t>(sourceRow) * frame.width;
        for (int x = 0; x < big.width; ++x) {
            out[static_cast<std::size_t>(y) * big.width + x] = in[x / factor];
        }
    }
    ::GdiFlush();
    return big;
}

FrameBitmap AdoptDibSection(HBITMAP bitmap) {
    UniqueHbitmap owned(bitmap);
    DIBSECTION dib{};
    if (!owned || ::GetObjectW(bitmap, sizeof(dib), &dib) != sizeof(dib) ||
        dib.dsBm.bmBitsPixel != 32 || dib.dsBm.bmBits == nullptr) {
        return {};
    }
    FrameBitmap frame;
    frame.pixels = static_cast<const std::uint32_t*>(dib.dsBm.bmBits);
    frame.width = dib.dsBm.bmWidth;
    frame.height = dib.dsBm.bmHeight;
    frame.bottomUp = dib.dsBmih.biHeight > 0;
    frame.bitmap = std::move(owned);
    return frame;
}

namespace {

// `source` enlarged `factor` times into a new bitmap: monochrome, or in the screen's format.
UniqueHbitmap EnlargeBitmap(HBITMAP source, int factor, bool monochrome) {
    BITMAP info{};
    if (source == nullptr || ::GetObjectW(source, sizeof(info), &info) == 0) {
        return {};
    }
    const int width = info.bmWidth * factor;
    const int height = info.bmHeight * factor;
    UniqueMemoryDc from(::CreateCompatibleDC(nullptr));
    UniqueMemoryDc to(::CreateCompatibleDC(nullptr));
    if (!from || !to) {
        return {};
    }
    UniqueHbitmap big;
    if (monochrome) {
        big.reset(::CreateBitmap(width, height, 1, 1, nullptr));
    } else {
        WindowDc screen(nullptr);
        big.reset(::CreateCompatibleBitmap(screen.get(), width, height));
    }
    if (!big) {
        return {};
    }
    ScopedSelect in(from.get(), source);
    ScopedSelect out(to.get(), big.get());
    // Whole-number factors with COLORONCOLOR copy every source pixel into a square block.
    ::SetStretchBltMode(to.get(), COLORONCOLOR);
    if (!::StretchBlt(to.get(), 0, 0, width, height, from.get(), 0, 0, info.bmWidth, info.bmHeight,
                      SRCCOPY)) {
        return {};
    }
    return big;
}

}  // namespace

UniqueHcursor EnlargeCursor(HCURSOR cursor, int factor) {
    ICONINFO info{};
    if (cursor == nullptr || factor < 1 || !::GetIconInfo(cursor, &info)) {
        return {};
    }
    const UniqueHbitmap mask(info.hbmMask);
    const UniqueHbitmap colour(info.hbmColor);  // null for a black-and-white cursor
    UniqueHbitmap bigMask = EnlargeBitmap(mask.get(), factor, true);
    UniqueHbitmap bigColour;
    if (colour) {
        bigColour = EnlargeBitmap(colour.get(), factor, false);
    }
    if (!bigMask || (colour && !bigColour)) {
        return {};
    }
    ICONINFO big{FALSE, info.xHotspot * static_cast<DWORD>(factor),
                 info.yHotspot * static_cast<DWORD>(factor), bigMask.get(), bigColour.get()};
    // The system copies the bitmaps; ours go when this returns.
    return UniqueHcursor(::CreateIconIndirect(&big));
}

}  // namespace tb::win32
