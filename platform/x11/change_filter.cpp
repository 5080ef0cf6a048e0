// The root's stacking order kept from its substructure events, and the few events that matter.
#include "platform/x11/change_filter.h"

#include <algorithm>

namespace tb::linux_desktop::x11 {

void ChangeFilter::Reset(XWindowId root, std::span<const XWindowId> childrenBottomFirst) {
    root_ = root;
    children_.clear();
    for (const XWindowId window : childrenBottomFirst) {
        children_.push_back({window, true, false});
    }
}

std::ptrdiff_t ChangeFilter::Find(XWindowId window) const {
    const auto it = std::find_if(children_.begin(), children_.end(),
                                 [window](const Child& c) { return c.window == window; });
    return it == children_.end() ? -1 : it - children_.begin();
}

void ChangeFilter::Place(Child child, XWindowId above) {
    if (const std::ptrdiff_t i = Find(child.window); i >= 0) {
        children_.erase(children_.begin() + i);
    }
    const std::ptrdiff_t sibling = above == 0 ? -1 : Find(above);
    if (above != 0 && sibling < 0) {
        children_.push_back(child);  // a sibling we never heard of: the top is the best guess
    } else {
        children_.insert(children_.begin() + (sibling + 1), child);
    }
}

bool ChangeFilter::AboveBird(XWindowId window) const {
    const std::ptrdiff_t bird = Find(bird_);
    const std::ptrdiff_t i = Find(window);
    return bird >= 0 && i > bird;
}

WatchOutcome ChangeFilter::Apply(const WatchEvent& e) {
    WatchOutcome out;
    const bool mine = e.window == target_ || (frame_ != 0 && e.window == frame_);
    if (e.kind == WatchEventKind::Property) {
        out.geometry = e.window == target_;
        return out;
    }
    if (mine && e.window != bird_) {
        out.geometry = true;
        out.reparented = e.kind == WatchEventKind::Reparent && e.window == target_;
    }
    if (e.reportedOn != root_) {
        // Reported on the target itself: its place among the root's children comes from the root.
        return out;
    }
    const std::ptrdiff_t index = Find(e.window);
    const bool wasAbove = AboveBird(e.window);
    switch (e.kind) {
        case WatchEventKind::Create:
            children_.push_back({e.window, false, e.overrideRedirect});
            break;
        case WatchEventKind::Destroy:
            if (index >= 0) {
                children_.erase(children_.begin() + index);
            }
            break;
        case WatchEventKind::Map:
        case WatchEventKind::Unmap: {
            const bool mapped = e.kind == WatchEventKind::Map;
            if (index >= 0) {
                children_[index].mapped = mapped;
                if (mapped) {
                    children_[index].overrideRedirect = e.overrideRedirect;
                }
            } else {
                children_.push_back({e.window, mapped, e.overrideRedirect});
            }
            // A window the user sees appearing above the bird.
            out.stack = mapped && !e.overrideRedirect && e.window != bird_ && AboveBird(e.window);
            break;
        }
        case WatchEventKind::Configure:
        case WatchEventKind::Circulate: {
            const std::ptrdiff_t birdBefore = Find(bird_);
            Child child = index >= 0 ? children_[index] : Child{e.window, true, e.overrideRedirect};
            child.overrideRedirect = e.overrideRedirect;
            if (e.kind == WatchEventKind::Circulate) {
                if (index >= 0) {
                    children_.erase(children_.begin() + index);
                }
                if (e.onTop) {
                    children_.push_back(child);
                } else {
                    children_.insert(children_.begin(), child);
                }
            } else {
                Place(child, e.above);
            }
            if (e.window == bird_) {
                // Someone put the bird lower than it was: whatever it fell under may cover it.
                out.stack = birdBefore >= 0 && Find(bird_) < birdBefore;
            } else {
                out.stack =
                    child.mapped && !child.overrideRedirect && !wasAbove && AboveBird(e.window);
            }
            break;
        }
        case WatchEventKind::Reparent:
            // A child leaving the root (into a frame), or a window arriving on it, on top.
            if (index >= 0) {
                children_.erase(children_.begin() + index);
            }
            if (e.newParent == root_) {
                children_.push_back({e.window, false, e.overrideRedirect});
            }
            break;
        case WatchEventKind::Gravity:
        case WatchEventKind::Property:
            break;
    }
    return out;
}

}  // namespace tb::linux_desktop::x11
