// The display-free helpers of the Linux program: frame decoding and outline bits, the announced
// resolution, and the lock file that stands for the named mutex, kept to the private runtime
// folder.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "platform/linux/bmp_frame.h"
#include "platform/linux/gtk_module_path.h"
#include "platform/linux/lock_file_mutex.h"
#include "platform/linux/unique_fd.h"
#include "platform/x11/xft_dpi.h"

namespace tb::linux_desktop::x11 {
namespace {

// A BMP of `bits` per pixel: "BM", then header and `bgra` pixels as little-endian words.
std::vector<std::uint8_t> MakeBmp(std::int32_t width, std::int32_t height,
                                  const std::vector<std::uint32_t>& bgra, std::uint32_t bits = 32) {
    const auto w = static_cast<std::uint32_t>(width), h = static_cast<std::uint32_t>(height);
    std::vector<std::uint32_t> words = {0, 0, 54, 40, w, h, 1u | bits << 16, 0, 0, 0, 0, 0, 0};
    words.insert(words.end(), bgra.begin(), bgra.end());
    std::vector<std::uint8_t> bytes = {'B', 'M'};
    for (const std::uint32_t word : words) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
        }
    }
    return bytes;
}

TEST(BmpFrameTest, DecodesBothRowOrdersAndRejectsWhatIsNotACompleteThirtyTwoBitBitmap) {
    // Stored bottom row first: bottom = {red opaque, clear}, top = {white opaque, dark red}.
    const std::vector<std::uint32_t> stored = {0xFFFF0000u, 0x00000000u, 0xFFFFFFFFu, 0xFF800000u};
    DecodedFrame frame;
    ASSERT_TRUE(DecodeBmp32(MakeBmp(2, 2, stored), frame));
    EXPECT_EQ(std::pair(frame.width, frame.height), std::pair(2, 2));
    EXPECT_EQ(frame.argb, (std::vector<std::uint32_t>{0xFFFFFFFFu, 0xFF800000u, 0xFFFF0000u, 0u}));
    ASSERT_TRUE(DecodeBmp32(MakeBmp(2, -2, stored), frame));  // negative height: top row first
    EXPECT_EQ(frame.argb, stored);

    std::vector<std::uint8_t> notBmp = MakeBmp(1, 1, {0});
    notBmp[0] = 'X';
    const std::vector<std::uint32_t> fivePixels(5, 0);  // one short of 3 x 2
    for (const auto& bad : {MakeBmp(3, 2, fivePixels), notBmp, MakeBmp(1, 1, {0}, 24),
                            MakeBmp(0, 2, {}), std::vector<std::uint8_t>{}}) {
        EXPECT_FALSE(DecodeBmp32(bad, frame)) << bad.size() << " bytes";
    }
}

TEST(BmpFrameTest, OutlineBitsAreLeastSignificantFirstWithRowsPaddedToBytes) {
    // Opaque black counts, clear white does not: only alpha decides.
    constexpr std::uint32_t O = 0xFF000000u, C = 0x00FFFFFFu;
    const DecodedFrame frame{10, 2, {O, 0, 0, 0, 0, 0, 0, 0, 0, O, 0, 0, 0, O, C, 0, 0, 0, 0, 0}};
    EXPECT_EQ(OpacityMaskBits(frame), (std::vector<std::uint8_t>{0x01, 0x02, 0x08, 0x00}));
}

TEST(BmpFrameTest, EnlargingMakesEveryPixelABlockWithNoBlending) {
    const DecodedFrame frame{2, 1, {0xFF000000u, 0x80402010u}};
    const DecodedFrame big = EnlargeFrame(frame, 3);
    EXPECT_EQ(std::pair(big.width, big.height), std::pair(6, 3));
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 6; ++x) {
            EXPECT_EQ(big.argb[static_cast<std::size_t>(y * 6 + x)], frame.argb[x / 3]) << x << y;
        }
    }
}

TEST(XftDpiTest, ReadsTheResourceAndFallsBackTo96) {
    EXPECT_DOUBLE_EQ(XftDpiFromResources("Xft.antialias:\t1\nXft.dpi:\t120\n"), 120.0);
    EXPECT_DOUBLE_EQ(XftDpiFromResources("Xft.dpi: 144.5"), 144.5);
    for (const char* unusable :
         {"", "Xft.dpi:\tlarge\n", "Xft.dpi: 0\n", "Xft.dpix: 200\nXterm*dpi 50\n"}) {
        EXPECT_DOUBLE_EQ(XftDpiFromResources(unusable), 96.0) << unusable;
    }
}

TEST(LockFileMutexTest, HoldsASharedLockForItsLifeAndIgnoresAMissingFolder) {
    char pattern[] = "/tmp/tb-lock-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string dir = pattern, file = dir + "/Tapperbird.lock";
    const auto exclusiveLockTaken = [&file] {
        UniqueFd probe(::open(file.c_str(), O_RDWR | O_CLOEXEC));
        return probe && ::flock(probe.get(), LOCK_EX | LOCK_NB) == 0;
    };
    {
        // A second copy of the program opens the same mutex without trouble; the lock is held.
        LockFileMutex first(dir), second(dir), nowhere(dir + "/missing");
        first.Create("Tapperbird");
        second.Create("Tapperbird");
        EXPECT_EQ(first.path() + " " + second.path(), file + " " + file);
        EXPECT_FALSE(exclusiveLockTaken());
        nowhere.Create("Tapperbird");
        EXPECT_EQ(nowhere.path(), "");
    }
    EXPECT_TRUE(exclusiveLockTaken());  // released with its owners
    std::filesystem::remove_all(dir);
}

TEST(LockFileMutexTest, TakesNoLockThroughALinkNorOutsideTheRuntimeFolder) {
    namespace fs = std::filesystem;
    char pattern[] = "/tmp/tb-lock-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path dir = pattern, target = dir / "elsewhere" / "victim";
    fs::create_directories(target.parent_path());
    // A link under the lock's name makes no file where it points; a FIFO is no lock file either.
    fs::create_symlink(target, dir / "Linked.lock");
    ASSERT_EQ(::mkfifo((dir / "Fifo.lock").c_str(), 0600), 0);
    LockFileMutex linked(dir.string()), fifo(dir.string());
    linked.Create("Linked");
    fifo.Create("Fifo");
    EXPECT_EQ(linked.path() + fifo.path(), "");
    EXPECT_FALSE(fs::exists(target));

    // Without $XDG_RUNTIME_DIR there is no lock, and nothing lands in the temporary folder.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedRuntime = runtime != nullptr ? runtime : "";
    ::unsetenv("XDG_RUNTIME_DIR");
    ::setenv("TMPDIR", pattern, 1);
    const std::string fallback = LockFileMutex::DefaultRuntimeDir();
    LockFileMutex none(fallback);
    none.Create("Tapperbird");
    if (runtime != nullptr) {
        ::setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
    }
    ::unsetenv("TMPDIR");
    EXPECT_EQ(fallback + none.path(), "");
    EXPECT_FALSE(fs::exists(dir / "Tapperbird.lock") || fs::exists("/tmp/Tapperbird.lock"));
    fs::remove_all(dir);
}

// The module planted or broken every way the first click could meet it: each is refused with its
// cause and never opened (so never loaded); a sound one loads only from where it belongs.
TEST(GtkModuleTest, OpensOnlyAWholeModuleThatNoOtherUserCanChange) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("tb-module-" + std::to_string(::getpid()));
    const fs::path lib = root / "lib", place = lib / "tapperbird", bin = root / "bin";
    const fs::path planted = place / "libtapperbird-gtk.so";
    const std::string shown = bin.string() + "/../lib/tapperbird", file = "/libtapperbird-gtk.so";
    const auto plant = [&](const char* from) { return fs::copy_file(from, planted); };
    // Each case: how it is made (false: not here, chown needs root), then what came of it: the
    // module loaded, or the start of the reason given.
    const std::vector<std::tuple<std::function<bool()>, std::string>> cases = {
        {[&] { return plant(TB_FIXTURE_FIT); }, "loaded " + shown + file},
        {[&] {
             return plant(TB_FIXTURE_FIT) && ::chmod(lib.c_str(), 0775) == 0 &&
                    ::chown(lib.c_str(), static_cast<uid_t>(-1), 65534) == 0;
         },
         bin.string() + "/../lib is writable by its group"},
        // Writable by the user's private group (root's, here), as a umask of 002 leaves it.
        {[&] {
             return ::geteuid() == 0 && plant(TB_FIXTURE_FIT) && ::chmod(lib.c_str(), 0775) == 0;
         },
         "loaded " + shown + file},
        {[&] {
             return plant(TB_FIXTURE_FIT) && ::chmod(place.c_str(), 0757) == 0 &&
                    fs::copy_file(TB_FIXTURE_FIT, bin / file.substr(1));
         },
         "loaded " + bin.string() + file},
        {[&] { return plant(TB_FIXTURE_FIT) && ::chown(place.c_str(), 65534, 65534) == 0; },
         shown + " belongs to another user (uid 65534)"},
        {[&] { return ::mkfifo(planted.c_str(), 0644) == 0; },
         shown + file + " is not a regular file"},
        {[&] { return plant(TB_FIXTURE_FIT) && (fs::resize_file(planted, 4096), true); },
         shown + file + " is cut short"},
        {[&] { return (fs::create_symlink(TB_FIXTURE_FIT, planted), true); },
         shown + file + " is a symbolic link"},
        {[&] { return fs::remove(place) && (fs::create_directory_symlink(bin, place), true); },
         shown + " is a symbolic link or not a folder"},
        {[&] { return plant(TB_FIXTURE_NEEDS_ABSENT); },
         "libtb_fixture_absent.so: cannot open shared object file"},
    };
    // dlopen knows a library by the name it was opened by (/proc/self/fd/N): the loaded cases
    // keep their descriptors, so no two share a name.
    std::vector<FoundModule> loaded;
    for (const auto& [make, expected] : cases) {
        fs::remove_all(root);
        for (const fs::path& folder : {root, lib, place, bin}) {
            fs::create_directory(folder);
            fs::permissions(folder, fs::perms(0755));
        }
        if (!make()) {
            continue;
        }
        FoundModule found =
            FindGtkModule(OpenFolder(bin.string()).get(), bin.string(), "../lib/tapperbird");
        std::string said = found.reason;
        if (found.file && LoadGtkModule(found, said) != nullptr) {
            said = "loaded " + found.path;
            loaded.push_back(std::move(found));
        }
        EXPECT_TRUE(said.starts_with(expected)) << said << "\n, not " << expected;
    }
    fs::remove_all(root);
}

}  // namespace
}  // namespace tb::linux_desktop::x11
