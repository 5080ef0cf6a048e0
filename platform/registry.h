// The settings store, shaped as the Windows registry under HKEY_CURRENT_USER. Every call reports
// through a Win32-style result code; none throws for a refused or missing key.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>

namespace tb {

using RegResult = std::int32_t;
inline constexpr RegResult kErrorSuccess = 0;
inline constexpr RegResult kErrorFileNotFound = 2;
inline constexpr RegResult kErrorAccessDenied = 5;
inline constexpr RegResult kErrorInvalidHandle = 6;
inline constexpr RegResult kErrorMoreData = 234;

// Opaque key handle; 0 is "no key". kHkeyCurrentUser stands for the hive itself.
using KeyHandle = std::uint64_t;
inline constexpr KeyHandle kHkeyCurrentUser = 0x80000001;

// Access masks.
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;

// Value types.
enum class ValueType : std::uint32_t { None = 0, Sz = 1, ExpandSz = 2, Binary = 3, Dword = 4 };

class Registry {
  public:
    virtual ~Registry() = default;

    // RegOpenKeyA(HKCU, path): opens an existing key with full access.
    virtual RegResult OpenKey(std::string_view path, KeyHandle& key) = 0;
    // RegCreateKeyA(parent, subPath): opens or creates the key and every missing level above it.
    virtual RegResult CreateKey(KeyHandle parent, std::string_view subPath, KeyHandle& key) = 0;
    // RegOpenKeyExA(HKCU, path, 0, access): opens an existing key for the given access.
    virtual RegResult OpenKeyEx(std::string_view path, std::uint32_t access, KeyHandle& key) = 0;
    // Stores a string value so that every character survives (UTF-8 in; the realisation writes
    // the platform's native string form with its terminating NUL counted).
    virtual RegResult SetStringValue(KeyHandle key, std::string_view name,
                                     std::string_view utf8Data) = 0;
    // RegDeleteValueA.
    virtual RegResult DeleteValue(KeyHandle key, std::string_view name) = 0;
    // RegDeleteKeyA(parent, subKey): deletes a key that has no subkeys.
    virtual RegResult DeleteKey(KeyHandle parent, std::string_view subKey) = 0;
    // RegQueryValueExA with a buffer of `capacity` bytes: on return `type` and `size` hold the
    // value's type and byte length (also when kErrorMoreData says the data did not fit), and the
    // first min(size, capacity) bytes are copied into `buffer` when it is not null.
    virtual RegResult QueryValue(KeyHandle key, std::string_view name, ValueType& type,
                                 std::uint8_t* buffer, std::uint32_t capacity,
                                 std::uint32_t& size) = 0;
    // RegCloseKey.
    virtual RegResult CloseKey(KeyHandle key) = 0;
};

// Owns an open key and closes it when it goes out of scope.
class UniqueKey {
  public:
    explicit UniqueKey(Registry& registry) : registry_(&registry) {}
    ~UniqueKey() { reset(); }
    UniqueKey(const UniqueKey&) = delete;
    UniqueKey& operator=(const UniqueKey&) = delete;
    UniqueKey(UniqueKey&& other) noexcept
        : registry_(other.registry_), key_(std::exchange(other.key_, 0)) {}
    UniqueKey& operator=(UniqueKey&& other) noexcept {
        if (this != &other) {
            reset();
            registry_ = other.registry_;
            key_ = std::exchange(other.key_, 0);
        }
        return *this;
    }

    // Out-parameter for the open and create calls.
    KeyHandle& out() {
        reset();
        return key_;
    }
    KeyHandle get() const { return key_; }
    explicit operator bool() const { return key_ != 0; }

    // Closes the key now (no-op when none is open).
    void reset() {
        if (key_ != 0 && key_ != kHkeyCurrentUser) {
            registry_->CloseKey(key_);
        }
        key_ = 0;
    }

  private:
    Registry* registry_;
    KeyHandle key_ = 0;
};

}  // namespace tb
