// The display-free helpers of the Linux program: frame decoding and outline bits, the announced
// resolution, and the lock file that stands for the named mutex, kept to the private runtime
// folder.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cstdlib>
#include <functional>

#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/x11/gtk_module_path.h"

#include "platform/x11/bmp_frame.h"
#include "platform/x11/lock_file_mutex.h"
#include "platform/x11/unique_fd.h"
#include "platform/x11/xft_dpi.h"

namespace tb::x11 {
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

}  // namespace
}  // namespace tb::x11

namespace tb::x11 {
namespace {

// The module planted or broken every way the first click could meet it: each is refused with its
// cause and never opened (so never loaded), and a sound module is found only where it belongs.
TEST(GtkModuleTest, OpensOnlyAWholeModuleThatNoOtherUserCanChange) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("tb-module-" + std::to_string(::getpid()));
    const fs::path lib = root / "lib", place = lib / "tapperbird", beside = root / "bin";
    const fs::path planted = place / "libtapperbird-gtk.so";
    // As the reasons name them: the way from the program's folder.
    const std::string up = beside.string() + "/..", shown = up + "/lib/tapperbird";
    const auto chmod = [](const fs::path& p, mode_t mode) { return ::chmod(p.c_str(), mode) == 0; };
    const auto copy = [](const char* from, const fs::path& to) { return fs::copy_file(from, to); };
    struct Case {
        const char* name;
        std::function<bool()> plant;  // false: this system cannot make the case
        std::string found;            // the module opened, or "" for none
        std::string reason;
    };
    const Case cases[] = {
        {"installed", [&] { return copy(TB_FIXTURE_FIT, planted); },
         shown + "/libtapperbird-gtk.so", ""},
        {"group-writable folder", [&] { return copy(TB_FIXTURE_FIT, planted) && chmod(lib, 0775); },
         "", up + "/lib is writable by its group"},
        {"world-writable folder beside a sound one",
         [&] {
             return copy(TB_FIXTURE_FIT, planted) && chmod(place, 0757) &&
                    copy(TB_FIXTURE_FIT, beside / "libtapperbird-gtk.so");
         },
         (beside / "libtapperbird-gtk.so").string(), ""},
        {"foreign-owned folder",
         [&] { return copy(TB_FIXTURE_FIT, planted) && ::chown(place.c_str(), 65534, 65534) == 0; },
         "", shown + " belongs to another user (uid 65534)"},
        {"FIFO", [&] { return ::mkfifo(planted.c_str(), 0644) == 0; }, "",
         shown + "/libtapperbird-gtk.so is not a regular file"},
        {"truncated",
         [&] {
             return copy(TB_FIXTURE_FIT, planted) &&
                    (fs::resize_file(planted, fs::file_size(planted) / 2), true);
         },
         "", shown + "/libtapperbird-gtk.so is cut short"},
        {"file linked out of the tree",
         [&] { return (fs::create_symlink(TB_FIXTURE_FIT, planted), true); }, "",
         shown + "/libtapperbird-gtk.so is a symbolic link"},
        {"folder linked out of the tree",
         [&] { return fs::remove(place) && (fs::create_directory_symlink(beside, place), true); },
         "", shown + " is a symbolic link or not a folder"},
        {"missing dependency", [&] { return copy(TB_FIXTURE_NEEDS_ABSENT, planted); },
         shown + "/libtapperbird-gtk.so",
         "libtb_fixture_absent.so: cannot open shared object file"},
    };
    // dlopen knows a library by the name it was opened by (/proc/self/fd/N): the loaded cases
    // keep their descriptors, so no two share a name.
    std::vector<FoundModule> loaded;
    for (const Case& c : cases) {
        fs::remove_all(root);
        fs::create_directories(place);
        fs::create_directories(beside);
        for (const fs::path& folder : {root, lib, place, beside}) {
            chmod(folder, 0755);
        }
        if (!c.plant()) {
            continue;  // chown needs root
        }
        const UniqueFd folder = OpenFolder(beside.string());
        FoundModule found = FindGtkModule(folder.get(), beside.string(), "../lib/tapperbird");
        EXPECT_EQ(found.file ? found.path : "", c.found) << c.name;
        if (found.file) {
            std::string reason;
            void* handle = LoadGtkModule(found, reason);
            EXPECT_EQ(handle != nullptr, c.reason.empty()) << c.name;
            EXPECT_TRUE(reason.starts_with(c.reason)) << c.name << ": " << reason;
            loaded.push_back(std::move(found));
        } else {
            EXPECT_EQ(found.reason, c.reason) << c.name;
        }
    }
    fs::remove_all(root);
}

}  // namespace
}  // namespace tb::x11
