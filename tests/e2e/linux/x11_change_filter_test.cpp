// The root-window watch's filter: which server events make the next tick ask the server again.
#include <gtest/gtest.h>

#include <vector>

#include "platform/x11/change_filter.h"

namespace tb::linux_desktop::x11 {
namespace {

constexpr XWindowId kRoot = 1;
constexpr XWindowId kBird = 50;
constexpr XWindowId kFrame = 10;   // the window manager's frame around the target
constexpr XWindowId kTarget = 11;  // the client window the bird perches on
constexpr XWindowId kOther = 20;   // another program's framed window
constexpr XWindowId kPopup = 30;   // another program's override-redirect pop-up

WatchEvent Configure(XWindowId window, XWindowId above, bool overrideRedirect = false) {
    WatchEvent e{WatchEventKind::Configure, window, kRoot};
    e.above = above;
    e.overrideRedirect = overrideRedirect;
    return e;
}

WatchEvent On(WatchEventKind kind, XWindowId window, XWindowId reportedOn = kRoot,
              bool overrideRedirect = false) {
    WatchEvent e{kind, window, reportedOn};
    e.overrideRedirect = overrideRedirect;
    return e;
}

// Bottom first: the target's frame, another window, the bird above both, a pop-up on top.
ChangeFilter Desktop() {
    ChangeFilter filter;
    const std::vector<XWindowId> children{kFrame, kOther, kBird, kPopup};
    filter.Reset(kRoot, children);
    filter.SetBird(kBird);
    filter.SetTarget(kTarget, kFrame);
    return filter;
}

TEST(ChangeFilterTest, OtherWindowsMovingOrAnimatingCostNothing) {
    ChangeFilter filter = Desktop();
    for (int i = 0; i < 3; ++i) {
        // A window below the bird moving in place, and a pop-up above it moving about (a pet
        // chasing the pointer): the stacking order stays as it was.
        WatchOutcome o = filter.Apply(Configure(kOther, kFrame));
        EXPECT_FALSE(o.geometry || o.stack);
        o = filter.Apply(Configure(kPopup, kBird, true));
        EXPECT_FALSE(o.geometry || o.stack);
    }
    // Pop-ups coming and going above the bird are left above it.
    EXPECT_FALSE(filter.Apply(On(WatchEventKind::Unmap, kPopup)).stack);
    EXPECT_FALSE(filter.Apply(On(WatchEventKind::Map, kPopup, kRoot, true)).stack);
    // Windows of other programs appearing and going away below the bird.
    EXPECT_FALSE(filter.Apply(On(WatchEventKind::Destroy, kOther)).geometry);
}

TEST(ChangeFilterTest, TheTargetAndItsFrameChanging) {
    ChangeFilter filter = Desktop();
    // The frame moving, reported on the root; the client resized, reported on itself.
    EXPECT_TRUE(filter.Apply(Configure(kFrame, 0)).geometry);
    EXPECT_TRUE(filter.Apply(On(WatchEventKind::Configure, kTarget, kTarget)).geometry);
    EXPECT_TRUE(filter.Apply(On(WatchEventKind::Property, kTarget, kTarget)).geometry);
    EXPECT_FALSE(filter.Apply(On(WatchEventKind::Property, kOther, kOther)).geometry);
    EXPECT_TRUE(filter.Apply(On(WatchEventKind::Unmap, kFrame)).geometry);
    // A new frame around the target: the caller looks the frame up again.
    WatchEvent reparent = On(WatchEventKind::Reparent, kTarget, kTarget);
    reparent.newParent = 99;
    const WatchOutcome o = filter.Apply(reparent);
    EXPECT_TRUE(o.geometry && o.reparented);
    // Once the target changes, the old one is no news.
    filter.SetTarget(kOther, kOther);
    EXPECT_FALSE(filter.Apply(Configure(kFrame, 0)).geometry);
    EXPECT_TRUE(filter.Apply(Configure(kOther, kFrame)).geometry);
}

TEST(ChangeFilterTest, AManagedWindowClimbingAboveTheBirdCountsOnce) {
    ChangeFilter filter = Desktop();
    // Raised to the top: now above the bird.
    EXPECT_TRUE(filter.Apply(Configure(kOther, kPopup)).stack);
    // Moving about up there is no further news.
    EXPECT_FALSE(filter.Apply(Configure(kOther, kPopup)).stack);
    // The bird climbs back above it (its own restack), and the frame goes to the top next.
    EXPECT_FALSE(filter.Apply(Configure(kBird, kOther)).stack);
    EXPECT_TRUE(filter.Apply(Configure(kFrame, kBird)).stack);
    // An override-redirect window raised above the bird is left alone.
    EXPECT_FALSE(filter.Apply(Configure(kPopup, kFrame, true)).stack);
}

TEST(ChangeFilterTest, NewWindowsCountWhenTheyAreMappedAboveTheBird) {
    ChangeFilter filter = Desktop();
    // Created on top, unmapped: nothing to see yet; mapped managed: covers the bird.
    EXPECT_FALSE(filter.Apply(On(WatchEventKind::Create, 60)).stack);
    EXPECT_TRUE(filter.Apply(On(WatchEventKind::Map, 60)).stack);
    // A new pop-up mapped on top is not covered over.
    EXPECT_FALSE(filter.Apply(On(WatchEventKind::Create, 61, kRoot, true)).stack);
    EXPECT_FALSE(filter.Apply(On(WatchEventKind::Map, 61, kRoot, true)).stack);
    // A window reparented into a frame leaves the root's list; a frame mapped below the bird
    // is no news; one raised to the top by circulation is.
    WatchEvent reparent = On(WatchEventKind::Reparent, 60);
    reparent.newParent = 70;
    filter.Apply(reparent);
    EXPECT_FALSE(filter.Apply(Configure(kOther, 0)).stack);
    WatchEvent circulate = On(WatchEventKind::Circulate, kOther);
    circulate.onTop = true;
    EXPECT_TRUE(filter.Apply(circulate).stack);
}

TEST(ChangeFilterTest, TheBirdPushedDownCounts) {
    ChangeFilter filter = Desktop();
    // Someone restacks the bird to the bottom: the windows it fell under may cover it.
    EXPECT_TRUE(filter.Apply(Configure(kBird, 0)).stack);
    // Climbing back up is its own doing.
    EXPECT_FALSE(filter.Apply(Configure(kBird, kOther)).stack);
    // A window unmapped and mapped again above the bird appears over it again.
    EXPECT_FALSE(filter.Apply(On(WatchEventKind::Unmap, kPopup)).stack);
    EXPECT_TRUE(filter.Apply(On(WatchEventKind::Map, kPopup)).stack);
}

}  // namespace
}  // namespace tb::linux_desktop::x11
