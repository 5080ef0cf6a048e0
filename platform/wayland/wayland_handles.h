// Owners of Wayland proxies and memory maps, one line per kind, each destroyed with the request
// its interface names.
#pragma once

#include <sys/mman.h>
#include <wayland-client.h>

#include <cstddef>
#include <memory>
#include <utility>

#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

namespace tb::linux_desktop::wayland {

// One deleter for every kind: each proxy goes with its own interface's destroy request.
struct ProxyDelete {
    void operator()(wl_registry* p) const { wl_registry_destroy(p); }
    void operator()(wl_compositor* p) const { wl_compositor_destroy(p); }
    void operator()(wl_shm* p) const { wl_shm_destroy(p); }
    void operator()(wl_shm_pool* p) const { wl_shm_pool_destroy(p); }
    void operator()(wl_buffer* p) const { wl_buffer_destroy(p); }
    void operator()(wl_surface* p) const { wl_surface_destroy(p); }
    void operator()(wl_region* p) const { wl_region_destroy(p); }
    void operator()(wl_seat* p) const { wl_seat_destroy(p); }
    void operator()(wl_pointer* p) const { wl_pointer_destroy(p); }
    void operator()(wl_output* p) const { wl_output_destroy(p); }
    void operator()(zwlr_layer_shell_v1* p) const { zwlr_layer_shell_v1_destroy(p); }
    void operator()(zwlr_layer_surface_v1* p) const { zwlr_layer_surface_v1_destroy(p); }
    void operator()(zxdg_output_manager_v1* p) const { zxdg_output_manager_v1_destroy(p); }
    void operator()(zxdg_output_v1* p) const { zxdg_output_v1_destroy(p); }
};
template <typename T>
using ProxyPtr = std::unique_ptr<T, ProxyDelete>;

using RegistryPtr = ProxyPtr<wl_registry>;
using CompositorPtr = ProxyPtr<wl_compositor>;
using ShmPtr = ProxyPtr<wl_shm>;
using ShmPoolPtr = ProxyPtr<wl_shm_pool>;
using BufferPtr = ProxyPtr<wl_buffer>;
using SurfacePtr = ProxyPtr<wl_surface>;
using RegionPtr = ProxyPtr<wl_region>;
using SeatPtr = ProxyPtr<wl_seat>;
using PointerPtr = ProxyPtr<wl_pointer>;
using OutputPtr = ProxyPtr<wl_output>;
using LayerShellPtr = ProxyPtr<zwlr_layer_shell_v1>;
using LayerSurfacePtr = ProxyPtr<zwlr_layer_surface_v1>;
using OutputManagerPtr = ProxyPtr<zxdg_output_manager_v1>;
using LogicalOutputPtr = ProxyPtr<zxdg_output_v1>;

struct DisplayDisconnect {
    void operator()(wl_display* display) const { wl_display_disconnect(display); }
};
using DisplayPtr = std::unique_ptr<wl_display, DisplayDisconnect>;

// A shared-memory mapping.
class Mapping {
  public:
    Mapping() = default;
    Mapping(void* address, std::size_t size) : address_(address), size_(size) {}
    ~Mapping() { reset(); }
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;
    Mapping(Mapping&& other) noexcept
        : address_(std::exchange(other.address_, nullptr)), size_(other.size_) {}
    Mapping& operator=(Mapping&& other) noexcept {
        if (this != &other) {
            reset();
            address_ = std::exchange(other.address_, nullptr);
            size_ = other.size_;
        }
        return *this;
    }
    void* get() const { return address_; }
    void reset() {
        if (address_ != nullptr) {
            ::munmap(address_, size_);
        }
        address_ = nullptr;
    }

  private:
    void* address_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace tb::linux_desktop::wayland
