// The connection to the compositor, its globals, its outputs and the pointer.
#include "platform/wayland/wayland_session.h"

#include <linux/input-event-codes.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace tb::linux_desktop::wayland {

WaylandSession::WaylandSession() {
    display_.reset(wl_display_connect(nullptr));
    if (display_ == nullptr) {
        throw std::runtime_error("cannot connect to the Wayland compositor");
    }
    registry_.reset(wl_display_get_registry(display_.get()));
    static const wl_registry_listener registryListener = {&OnGlobal, &OnGlobalRemove};
    wl_registry_add_listener(registry_.get(), &registryListener, this);
    // The globals, then what the outputs and the seat say of themselves.
    wl_display_roundtrip(display_.get());
    wl_display_roundtrip(display_.get());
    if (compositor_ == nullptr || shm_ == nullptr) {
        throw std::runtime_error("the Wayland compositor lacks wl_compositor or wl_shm");
    }
    if (layerShell_ == nullptr) {
        throw std::runtime_error("the Wayland compositor has no layer shell");
    }
    if (places_.empty()) {
        throw std::runtime_error("the Wayland compositor has no output");
    }
}

WaylandSession::~WaylandSession() = default;

void WaylandSession::OnGlobal(void* data, wl_registry* registry, std::uint32_t name,
                              const char* interface, std::uint32_t version) {
    auto* self = static_cast<WaylandSession*>(data);
    const auto bind = [&](const wl_interface* type, std::uint32_t highest) {
        return wl_registry_bind(registry, name, type, std::min(version, highest));
    };
    if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
        self->compositor_.reset(static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4)));
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        self->shm_.reset(static_cast<wl_shm*>(bind(&wl_shm_interface, 1)));
    } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0) {
        self->layerShell_.reset(
            static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, 4)));
    } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0) {
        self->outputManager_.reset(
            static_cast<zxdg_output_manager_v1*>(bind(&zxdg_output_manager_v1_interface, 3)));
        for (const auto& output : self->outputs_) {
            self->DescribeLogically(*output);
        }
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && self->seat_ == nullptr) {
        // Version 4: the pointer events before frames and axis details, none of which we need.
        self->seat_.reset(static_cast<wl_seat*>(bind(&wl_seat_interface, 4)));
        static const wl_seat_listener seatListener = {&OnSeatCapabilities, &OnSeatName};
        wl_seat_add_listener(self->seat_.get(), &seatListener, self);
    } else if (std::strcmp(interface, wl_output_interface.name) == 0 && version >= 2) {
        auto output = std::make_unique<Output>();
        output->session = self;
        output->name = name;
        output->proxy.reset(static_cast<wl_output*>(bind(&wl_output_interface, 2)));
        static const wl_output_listener outputListener = {.geometry = &OnOutputGeometry,
                                                          .mode = &OnOutputMode,
                                                          .done = &OnOutputDone,
                                                          .scale = &OnOutputScale,
                                                          .name = nullptr,  // version 4
                                                          .description = nullptr};
        wl_output_add_listener(output->proxy.get(), &outputListener, output.get());
        self->DescribeLogically(*output);
        self->outputs_.push_back(std::move(output));
    }
}

void WaylandSession::OnGlobalRemove(void* data, wl_registry*, std::uint32_t name) {
    auto* self = static_cast<WaylandSession*>(data);
    const auto gone = std::find_if(self->outputs_.begin(), self->outputs_.end(),
                                   [name](const auto& output) { return output->name == name; });
    if (gone != self->outputs_.end()) {
        self->outputs_.erase(gone);
        self->RefreshPlaces();
    }
}

void WaylandSession::OnOutputGeometry(void* data, wl_output*, std::int32_t x, std::int32_t y,
                                      std::int32_t, std::int32_t, std::int32_t, const char*,
                                      const char*, std::int32_t) {
    auto* output = static_cast<Output*>(data);
    output->x = x;
    output->y = y;
}

void WaylandSession::OnOutputMode(void* data, wl_output*, std::uint32_t flags, std::int32_t width,
                                  std::int32_t height, std::int32_t) {
    if ((flags & WL_OUTPUT_MODE_CURRENT) != 0) {
        auto* output = static_cast<Output*>(data);
        output->modeWidth = width;
        output->modeHeight = height;
    }
}

void WaylandSession::OnOutputScale(void* data, wl_output*, std::int32_t factor) {
    static_cast<Output*>(data)->scale = std::max(factor, 1);
}

void WaylandSession::OnOutputDone(void* data, wl_output*) {
    static_cast<Output*>(data)->session->RefreshPlaces();
}

void WaylandSession::DescribeLogically(Output& output) {
    if (outputManager_ == nullptr || output.logical != nullptr) {
        return;
    }
    output.logical.reset(
        zxdg_output_manager_v1_get_xdg_output(outputManager_.get(), output.proxy.get()));
    static const zxdg_output_v1_listener listener = {.logical_position = &OnLogicalPosition,
                                                     .logical_size = &OnLogicalSize,
                                                     .done = &OnLogicalDone,
                                                     .name = &OnLogicalName,
                                                     .description = &OnLogicalName};
    zxdg_output_v1_add_listener(output.logical.get(), &listener, &output);
}

void WaylandSession::OnLogicalPosition(void* data, zxdg_output_v1*, std::int32_t x,
                                       std::int32_t y) {
    static_cast<Output*>(data)->logicalPosition = {x, y};
}

void WaylandSession::OnLogicalSize(void* data, zxdg_output_v1*, std::int32_t width,
                                   std::int32_t height) {
    static_cast<Output*>(data)->logicalSize = {width, height};
}

void WaylandSession::OnLogicalDone(void* data, zxdg_output_v1*) {
    // Sent by compositors of version 1 and 2 only; from 3 on wl_output's done closes the batch.
    static_cast<Output*>(data)->session->RefreshPlaces();
}

void WaylandSession::RefreshPlaces() {
    places_.clear();
    for (const auto& output : outputs_) {
        if (output->modeWidth <= 0 || output->modeHeight <= 0) {
            continue;  // not described yet
        }
        const Point at = output->logicalPosition;
        const Rect logical{at.x, at.y, at.x + output->logicalSize.cx,
                           at.y + output->logicalSize.cy};
        places_.push_back({OutputBounds(logical, {output->x, output->y},
                                        {output->modeWidth, output->modeHeight}, output->scale),
                           output->scale});
    }
    ++outputsEpoch_;
}

wl_output* WaylandSession::output(int index) const {
    // Places skip outputs not yet described; count the described ones to find the proxy.
    int seen = -1;
    for (const auto& output : outputs_) {
        if (output->modeWidth > 0 && output->modeHeight > 0 && ++seen == index) {
            return output->proxy.get();
        }
    }
    return nullptr;
}

void WaylandSession::OnSeatCapabilities(void* data, wl_seat* seat, std::uint32_t capabilities) {
    auto* self = static_cast<WaylandSession*>(data);
    const bool hasPointer = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
    if (hasPointer && self->pointer_ == nullptr) {
        self->pointer_.reset(wl_seat_get_pointer(seat));
        static const wl_pointer_listener pointerListener = {.enter = &OnPointerEnter,
                                                            .leave = &OnPointerLeave,
                                                            .motion = &OnPointerMotion,
                                                            .button = &OnPointerButton,
                                                            .axis = &OnPointerAxis,
                                                            // Versions 5 and later only.
                                                            .frame = nullptr,
                                                            .axis_source = nullptr,
                                                            .axis_stop = nullptr,
                                                            .axis_discrete = nullptr,
                                                            .axis_value120 = nullptr};
        wl_pointer_add_listener(self->pointer_.get(), &pointerListener, self);
    } else if (!hasPointer) {
        self->pointer_.reset();
    }
}

void WaylandSession::OnPointerEnter(void* data, wl_pointer*, std::uint32_t, wl_surface* surface,
                                    wl_fixed_t x, wl_fixed_t y) {
    auto* self = static_cast<WaylandSession*>(data);
    self->pointerSurface_ = surface;
    self->pointerX_ = wl_fixed_to_double(x);
    self->pointerY_ = wl_fixed_to_double(y);
}

void WaylandSession::OnPointerLeave(void* data, wl_pointer*, std::uint32_t, wl_surface*) {
    static_cast<WaylandSession*>(data)->pointerSurface_ = nullptr;
}

void WaylandSession::OnPointerMotion(void* data, wl_pointer*, std::uint32_t, wl_fixed_t x,
                                     wl_fixed_t y) {
    auto* self = static_cast<WaylandSession*>(data);
    self->pointerX_ = wl_fixed_to_double(x);
    self->pointerY_ = wl_fixed_to_double(y);
}

void WaylandSession::OnPointerButton(void* data, wl_pointer*, std::uint32_t, std::uint32_t time,
                                     std::uint32_t button, std::uint32_t state) {
    auto* self = static_cast<WaylandSession*>(data);
    if (state != WL_POINTER_BUTTON_STATE_PRESSED || self->pointerTarget_ == nullptr ||
        self->pointerSurface_ == nullptr || !self->pointerTarget_->Shows(self->pointerSurface_)) {
        return;
    }
    unsigned number = 0;
    switch (button) {
        case BTN_LEFT:
            number = 1;
            break;
        case BTN_MIDDLE:
            number = 2;
            break;
        case BTN_RIGHT:
            number = 3;
            break;
        default:
            return;  // side buttons have no counterpart in the forms runtime
    }
    self->pressTime_ = time;
    self->pointerTarget_->OnPress(number, self->pointerX_, self->pointerY_);
}

bool WaylandSession::PrepareToWait() {
    wl_display_dispatch_pending(display_.get());
    wl_display_flush(display_.get());
    return false;
}

void WaylandSession::DispatchEvents() {
    if (wl_display_dispatch(display_.get()) < 0) {
        std::fprintf(stderr, "tapperbird: lost the connection to the Wayland compositor\n");
        std::fflush(stderr);
        ::_exit(1);
    }
}

}  // namespace tb::linux_desktop::wayland
