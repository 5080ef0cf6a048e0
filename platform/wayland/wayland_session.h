// What the Wayland realisations share: the connection to the compositor (read by the program's
// main loop), its globals (compositor, shared memory, layer shell, the seat's pointer), the
// outputs with their places (from xdg-output where the compositor has it) and scales, and the
// GTK module's host.
#pragma once

#include <wayland-client.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/gtk_module.h"
#include "platform/linux/main_loop.h"
#include "platform/wayland/bird_pixels.h"
#include "platform/wayland/wayland_handles.h"

namespace tb::linux_desktop::wayland {

// Told about presses on its surface.
class PointerTarget {
  public:
    virtual ~PointerTarget() = default;
    // Whether presses on `surface` are the target's.
    virtual bool Shows(const wl_surface* surface) const = 0;
    // `button`: 1 left, 2 middle, 3 right, as X numbers them; x, y: surface-local.
    virtual void OnPress(unsigned button, double x, double y) = 0;
};

class WaylandSession final : public GtkHost, public ConnectionWatch, public OutputList {
  public:
    // Connects to $WAYLAND_DISPLAY and reads the globals and outputs; throws with the one line
    // to say when the compositor cannot show a layer-shell bird.
    WaylandSession();
    ~WaylandSession() override;
    WaylandSession(const WaylandSession&) = delete;
    WaylandSession& operator=(const WaylandSession&) = delete;

    wl_display* display() const { return display_.get(); }
    wl_compositor* compositor() const { return compositor_.get(); }
    wl_shm* shm() const { return shm_.get(); }
    zwlr_layer_shell_v1* layerShell() const { return layerShell_.get(); }
    int fd() const { return wl_display_get_fd(display_.get()); }

    // The outputs in the order the compositor announced them, the first as the primary.
    const std::vector<OutputPlace>& outputs() const override { return places_; }
    // The output behind outputs()[index].
    wl_output* output(int index) const;
    // Bumped whenever an output comes, goes or changes.
    std::uint64_t outputsEpoch() const override { return outputsEpoch_; }
    void Flush() override { wl_display_flush(display_.get()); }

    void SetPointerTarget(PointerTarget* target) { pointerTarget_ = target; }
    void SetLastPress(const PressPlace& press) { lastPress_ = press; }
    // The compositor's time of the press being handled, in milliseconds, as GTK's events carry.
    std::uint32_t pressTime() const { return pressTime_; }

    // ConnectionWatch
    bool PrepareToWait() override;
    bool EventsQueued() override { return false; }
    void DispatchEvents() override;

    // GtkHost: what the GTK module asks of the program.
    void EnterPopup() override { ++popupDepth_; }
    void LeavePopup() override {
        if (popupDepth_ > 0) {
            --popupDepth_;
        }
    }
    void AddOwnWindow(unsigned long, OwnTopLevel*) override {}
    void RemoveOwnWindow(unsigned long) override {}
    void MarkRepaintBird() override {}
    PressPlace LastPress() const override { return lastPress_; }
    void ReleasePointer() override {}

  private:
    struct Output {
        WaylandSession* session;
        std::uint32_t name;
        OutputPtr proxy;
        LogicalOutputPtr logical;  // declared after the output it describes: destroyed first
        std::int32_t x = 0, y = 0;
        std::int32_t modeWidth = 0, modeHeight = 0;
        std::int32_t scale = 1;
        Point logicalPosition;  // from xdg-output, as the size
        Size logicalSize;       // 0 x 0 until xdg-output tells
    };

    static void OnGlobal(void* data, wl_registry* registry, std::uint32_t name,
                         const char* interface, std::uint32_t version);
    static void OnGlobalRemove(void* data, wl_registry* registry, std::uint32_t name);
    static void OnOutputGeometry(void* data, wl_output*, std::int32_t x, std::int32_t y,
                                 std::int32_t, std::int32_t, std::int32_t, const char*, const char*,
                                 std::int32_t);
    static void OnOutputMode(void* data, wl_output*, std::uint32_t flags, std::int32_t width,
                             std::int32_t height, std::int32_t);
    static void OnOutputDone(void* data, wl_output*);
    static void OnOutputScale(void* data, wl_output*, std::int32_t factor);
    static void OnLogicalPosition(void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y);
    static void OnLogicalSize(void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height);
    static void OnLogicalDone(void* data, zxdg_output_v1*);
    static void OnLogicalName(void*, zxdg_output_v1*, const char*) {}
    // Asks xdg-output for the output's logical place, once both are known.
    void DescribeLogically(Output& output);
    static void OnSeatCapabilities(void* data, wl_seat* seat, std::uint32_t capabilities);
    static void OnSeatName(void*, wl_seat*, const char*) {}
    static void OnPointerEnter(void* data, wl_pointer*, std::uint32_t, wl_surface* surface,
                               wl_fixed_t x, wl_fixed_t y);
    static void OnPointerLeave(void* data, wl_pointer*, std::uint32_t, wl_surface*);
    static void OnPointerMotion(void* data, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y);
    static void OnPointerButton(void* data, wl_pointer*, std::uint32_t, std::uint32_t,
                                std::uint32_t button, std::uint32_t state);
    static void OnPointerAxis(void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {}
    // Output places as the logic sees them: the output's position and its mode over its scale.
    void RefreshPlaces();

    // Declared in the order they are made, so they go in the reverse.
    DisplayPtr display_;
    RegistryPtr registry_;
    CompositorPtr compositor_;
    ShmPtr shm_;
    LayerShellPtr layerShell_;
    OutputManagerPtr outputManager_;
    SeatPtr seat_;
    PointerPtr pointer_;
    std::vector<std::unique_ptr<Output>> outputs_;
    std::vector<OutputPlace> places_;
    std::uint64_t outputsEpoch_ = 1;
    PointerTarget* pointerTarget_ = nullptr;
    wl_surface* pointerSurface_ = nullptr;
    double pointerX_ = 0;
    double pointerY_ = 0;
    int popupDepth_ = 0;
    std::uint32_t pressTime_ = 0;
    PressPlace lastPress_;
};

}  // namespace tb::linux_desktop::wayland
