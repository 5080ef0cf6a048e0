// The display-free helpers of the Linux program: frame decoding and outline bits, the announced
// resolution, and the lock file that stands for the named mutex.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "platform/x11/bmp_frame.h"
#include "platform/x11/lock_file_mutex.h"
#include "platform/x11/unique_fd.h"
#include "platform/x11/xft_dpi.h"

namespace tb::x11 {
namespace {

void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

// A 32-bit BMP whose pixel i (in stored order) is `pixels[i]` as B, G, R, A bytes.
std::vector<std::uint8_t> MakeBmp(int width, int height, const std::vector<std::uint32_t>& bgra,
                                  std::uint16_t bits = 32) {
    std::vector<std::uint8_t> b(54 + bgra.size() * 4, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<std::uint32_t>(b.size()));
    Put32(b, 10, 54);
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<std::uint32_t>(width));
    Put32(b, 22, static_cast<std::uint32_t>(height));
    b[26] = 1;
    b[28] = static_cast<std::uint8_t>(bits);
    for (std::size_t i = 0; i < bgra.size(); ++i) {
        Put32(b, 54 + 4 * i, bgra[i]);
    }
    return b;
}

TEST(BmpFrameTest, BottomUpRowsComeOutTopRowFirstAsArgbWords) {
    // Stored bottom row first: bottom = {red opaque, clear}, top = {white opaque, dark red}.
    const std::vector<std::uint32_t> stored = {0xFFFF0000u, 0x00000000u, 0xFFFFFFFFu, 0xFF800000u};
    DecodedFrame frame;
    ASSERT_TRUE(DecodeBmp32(MakeBmp(2, 2, stored), frame));
    EXPECT_EQ(frame.width, 2);
    EXPECT_EQ(frame.height, 2);
    EXPECT_EQ(frame.argb, (std::vector<std::uint32_t>{0xFFFFFFFFu, 0xFF800000u, 0xFFFF0000u, 0u}));

    // A negative height means the rows are stored top first.
    DecodedFrame topDown;
    ASSERT_TRUE(DecodeBmp32(MakeBmp(2, -2, stored), topDown));
    EXPECT_EQ(topDown.argb, stored);
}

TEST(BmpFrameTest, RejectsWhatIsNotACompleteThirtyTwoBitBitmap) {
    DecodedFrame frame;
    std::vector<std::uint8_t> good = MakeBmp(3, 2, std::vector<std::uint32_t>(6, 0xFF000000u));
    EXPECT_TRUE(DecodeBmp32(good, frame));
    std::vector<std::uint8_t> truncated(good.begin(), good.end() - 1);
    EXPECT_FALSE(DecodeBmp32(truncated, frame));
    EXPECT_FALSE(DecodeBmp32(MakeBmp(3, 2, std::vector<std::uint32_t>(6, 0), 24), frame));
    std::vector<std::uint8_t> notBmp = good;
    notBmp[0] = 'X';
    EXPECT_FALSE(DecodeBmp32(notBmp, frame));
    EXPECT_FALSE(DecodeBmp32(MakeBmp(0, 2, {}), frame));
    EXPECT_FALSE(DecodeBmp32({}, frame));
}

TEST(BmpFrameTest, OutlineBitsAreLeastSignificantFirstWithRowsPaddedToBytes) {
    DecodedFrame frame;
    frame.width = 10;
    frame.height = 2;
    frame.argb.assign(20, 0);
    frame.argb[0] = 0xFF000000u;       // (0, 0): black but opaque
    frame.argb[9] = 0xFFFFFFFFu;       // (9, 0)
    frame.argb[10 + 3] = 0xFF9F9F7Fu;  // (3, 1): a chip
    frame.argb[10 + 4] = 0x00FFFFFFu;  // clear whatever its colour bytes say
    const std::vector<std::uint8_t> bits = OpacityMaskBits(frame);
    EXPECT_EQ(bits, (std::vector<std::uint8_t>{0x01, 0x02, 0x08, 0x00}));
}

TEST(XftDpiTest, ReadsTheResourceAndFallsBackTo96) {
    EXPECT_DOUBLE_EQ(XftDpiFromResources("Xft.antialias:\t1\nXft.dpi:\t120\n"), 120.0);
    EXPECT_DOUBLE_EQ(XftDpiFromResources("Xft.dpi: 144.5"), 144.5);
    EXPECT_DOUBLE_EQ(XftDpiFromResources(""), 96.0);
    EXPECT_DOUBLE_EQ(XftDpiFromResources("Xft.dpi:\tlarge\n"), 96.0);
    EXPECT_DOUBLE_EQ(XftDpiFromResources("Xft.dpi: 0\n"), 96.0);
    EXPECT_DOUBLE_EQ(XftDpiFromResources("Xft.dpix: 200\nXterm*dpi 50\n"), 96.0);
}

TEST(LockFileMutexTest, HoldsASharedLockForItsLifeAndIgnoresAMissingFolder) {
    char pattern[] = "/tmp/tb-lock-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    {
        LockFileMutex first(dir);
        first.Create("Tapperbird");
        EXPECT_EQ(first.path(), dir + "/Tapperbird.lock");
        // A second copy of the program opens the same mutex without trouble...
        LockFileMutex second(dir);
        second.Create("Tapperbird");
        EXPECT_EQ(second.path(), first.path());
        // ...while the lock is visibly held.
        UniqueFd probe(::open(first.path().c_str(), O_RDWR | O_CLOEXEC));
        ASSERT_TRUE(probe);
        EXPECT_NE(::flock(probe.get(), LOCK_EX | LOCK_NB), 0);
        EXPECT_EQ(errno, EWOULDBLOCK);
    }
    UniqueFd after(::open((dir + "/Tapperbird.lock").c_str(), O_RDWR | O_CLOEXEC));
    ASSERT_TRUE(after);
    EXPECT_EQ(::flock(after.get(), LOCK_EX | LOCK_NB), 0);  // released with its owners

    LockFileMutex nowhere(dir + "/missing");
    nowhere.Create("Tapperbird");
    EXPECT_TRUE(nowhere.path().empty());
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tb::x11
