// The arithmetic of the Wayland bird, kept apart from the compositor so it can be checked alone:
// which rectangles of a frame take presses (its opaque pixels), where an output is and which
// output shows a point.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/linux/bmp_frame.h"
#include "platform/types.h"

namespace tb::linux_desktop::wayland {

// The frame's opaque pixels as rectangles, each pixel `scale` x `scale`: a run of opaque pixels
// in a row, grown downwards while the rows below have the same run. Presses on any other pixel of
// the bird's box go to the window beneath.
std::vector<Rect> OpaqueRegion(const DecodedFrame& frame, int scale);

// One output as the bird sees it: its place in the compositor's global space (logical pixels)
// and its whole-number scale.
struct OutputPlace {
    Rect bounds;
    int scale = 1;
};

// An output's place in the compositor's global space from what it says of itself: its logical
// place when known (from xdg-output; empty when not), else its mode over its scale from its
// position. Under a fractional scale the whole number a wl_output reports is rounded up, so the
// mode over it falls short of the output's true size.
Rect OutputBounds(const Rect& logical, Point position, Size mode, int scale);

// Where the outputs are, as the compositor (or, on GNOME, the Shell) last said.
class OutputList {
  public:
    virtual ~OutputList() = default;
    // The outputs, the first as the primary.
    virtual const std::vector<OutputPlace>& outputs() const = 0;
    // Bumped whenever an output comes, goes or changes.
    virtual std::uint64_t outputsEpoch() const = 0;
    // Whether the places are in the outputs' own pixels (GNOME Shell's stage), so the bird grows
    // with each one's scale as it does on X11, rather than in a compositor's logical units, where
    // the scale of the buffer enlarges it.
    virtual bool placesInPixels() const { return false; }
    // Sends what is waiting to be sent, at the program's end.
    virtual void Flush() = 0;
};

// The index of the output that shows most of `box`, or -1 when none shows any of it: the bird
// out of sight.
int OutputFor(std::span<const OutputPlace> outputs, const Rect& box);

// Every output that shows some of `box`, as bits by index (the first 32 outputs): a bird across
// two outputs' border is drawn on each.
std::uint32_t OutputsShowing(std::span<const OutputPlace> outputs, const Rect& box);

}  // namespace tb::linux_desktop::wayland
