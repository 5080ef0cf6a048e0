// The simulated HKEY_CURRENT_USER tree: typed values, open handles with their access, and the
// refusals a test injects.
#include <cstring>

#include "platform/sim/sim_desktop.h"

namespace tb::sim {

bool NoCaseLess::operator()(std::string_view a, std::string_view b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) <
               std::tolower(static_cast<unsigned char>(y));
    });
}

namespace {

constexpr std::uint32_t kKeyQueryValue = 0x0001;
constexpr std::uint32_t kKeySetValue = 0x0002;
constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
// Rights that count as writing: set value, create subkey, DELETE, WRITE_DAC, WRITE_OWNER.
constexpr std::uint32_t kWriteRights = kKeySetValue | kKeyCreateSubKey | 0xD0000;
constexpr std::uint32_t kKeyAllAccess = 0xF003F;

std::vector<std::string> Split(std::string_view path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        if (end > start) {
            parts.emplace_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

bool SameName(std::string_view a, std::string_view b) {
    const NoCaseLess less;
    return !less(a, b) && !less(b, a);
}

// True when `prefix` is `path` or one of its ancestors.
bool IsPrefix(const std::vector<std::string>& prefix, const std::vector<std::string>& path) {
    if (prefix.size() > path.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (!SameName(prefix[i], path[i])) {
            return false;
        }
    }
    return true;
}

bool AnyEqual(const std::vector<std::vector<std::string>>& list,
              const std::vector<std::string>& path) {
    for (const auto& p : list) {
        if (p.size() == path.size() && IsPrefix(p, path)) {
            return true;
        }
    }
    return false;
}

}  // namespace

SimRegistry::Key* SimRegistry::Resolve(const std::vector<std::string>& path) {
    Key* key = &root_;
    for (const auto& part : path) {
        const auto it = key->subkeys.find(part);
        if (it == key->subkeys.end()) {
            return nullptr;
        }
        key = &it->second;
    }
    return key;
}

const SimRegistry::Key* SimRegistry::Resolve(const std::vector<std::string>& path) const {
    return const_cast<SimRegistry*>(this)->Resolve(path);
}

bool SimRegistry::WriteDenied(const std::vector<std::string>& path) const {
    return AnyEqual(denyWrite_, path);
}

bool SimRegistry::ReadDenied(const std::vector<std::string>& path) const {
    return AnyEqual(denyRead_, path);
}

bool SimRegistry::CreateDenied(const std::vector<std::string>& path) const {
    for (const auto& prefix : denyCreate_) {
        if (IsPrefix(prefix, path)) {
            return true;
        }
    }
    return false;
}

KeyHandle SimRegistry::NewHandle(std::vector<std::string> path, std::uint32_t access) {
    const KeyHandle handle = nextHandle_;
    nextHandle_ += 4;
    handles_.emplace(handle, OpenHandle{std::move(path), access});
    return handle;
}

RegResult SimRegistry::Lookup(KeyHandle key, std::uint32_t neededAccess, Key*& out) {
    out = nullptr;
    std::uint32_t access = kKeyAllAccess;
    if (key == kHkeyCurrentUser) {
        out = &root_;
    } else {
        const auto it = handles_.find(key);
        if (it == handles_.end()) {
            return kErrorInvalidHandle;
        }
        out = Resolve(it->second.path);
        if (out == nullptr) {
            return kErrorKeyDeleted;
        }
        access = it->second.access;
    }
    if ((neededAccess & ~access) != 0) {
        out = nullptr;
        return kErrorAccessDenied;
    }
    return kErrorSuccess;
}

RegResult SimRegistry::OpenKey(std::string_view path, KeyHandle& key) {
    desk_.MaybeRaise(SimCall::RegOpenKey);
    key = 0;
    auto parts = Split(path);
    if (Resolve(parts) == nullptr) {
        return kErrorFileNotFound;
    }
    if (ReadDenied(parts)) {
        return kErrorAccessDenied;
    }
    const std::uint32_t access = WriteDenied(parts) ? kKeyRead : kKeyAllAccess;
    key = NewHandle(std::move(parts), access);
    return kErrorSuccess;
}

RegResult SimRegistry::CreateKey(KeyHandle parent, std::string_view subPath, KeyHandle& key) {
    desk_.MaybeRaise(SimCall::RegCreateKey);
    key = 0;
    std::vector<std::string> full;
    std::uint32_t parentAccess = kKeyAllAccess;
    if (parent != kHkeyCurrentUser) {
        const auto it = handles_.find(parent);
        if (it == handles_.end()) {
            return kErrorInvalidHandle;
        }
        if (Resolve(it->second.path) == nullptr) {
            return kErrorKeyDeleted;
        }
        full = it->second.path;
        parentAccess = it->second.access;
    }
    std::vector<std::string> walked = full;
    Key* at = Resolve(full);
    for (auto& part : Split(subPath)) {
        walked.push_back(part);
        const auto found = at->subkeys.find(part);
        if (found != at->subkeys.end()) {
            at = &found->second;
            continue;
        }
        // Levels made before a refusal stay, as they do when the system creates them in turn.
        if ((parentAccess & kKeyCreateSubKey) == 0 || CreateDenied(walked)) {
            return kErrorAccessDenied;
        }
        at = &at->subkeys[part];
    }
    if (ReadDenied(walked)) {
        return kErrorAccessDenied;
    }
    const std::uint32_t access = WriteDenied(walked) ? kKeyRead : kKeyAllAccess;
    key = NewHandle(std::move(walked), access);
    return kErrorSuccess;
}

RegResult SimRegistry::OpenKeyEx(std::string_view path, std::uint32_t access, KeyHandle& key) {
    desk_.MaybeRaise(SimCall::RegOpenKeyEx);
    key = 0;
    auto parts = Split(path);
    if (Resolve(parts) == nullptr) {
        return kErrorFileNotFound;
    }
    if (((access & kWriteRights) != 0 && WriteDenied(parts)) ||
        ((access & kKeyQueryValue) != 0 && ReadDenied(parts))) {
        return kErrorAccessDenied;
    }
    key = NewHandle(std::move(parts), access);
    return kErrorSuccess;
}

RegResult SimRegistry::SetStringValue(KeyHandle key, std::string_view name,
                                      std::string_view utf8Data) {
    desk_.MaybeRaise(SimCall::RegSetStringValue);
    Key* k = nullptr;
    if (const RegResult r = Lookup(key, kKeySetValue, k); r != kErrorSuccess) {
        return r;
    }
    if (key != kHkeyCurrentUser && AnyEqual(refuseValues_, handles_.at(key).path)) {
        return kErrorAccessDenied;
    }
    RegValue value{ValueType::Sz, std::vector<std::uint8_t>(utf8Data.begin(), utf8Data.end())};
    value.data.push_back(0);
    k->values.insert_or_assign(std::string(name), std::move(value));
    return kErrorSuccess;
}

RegResult SimRegistry::DeleteValue(KeyHandle key, std::string_view name) {
    desk_.MaybeRaise(SimCall::RegDeleteValue);
    Key* k = nullptr;
    if (const RegResult r = Lookup(key, kKeySetValue, k); r != kErrorSuccess) {
        return r;
    }
    const auto it = k->values.find(name);
    if (it == k->values.end()) {
        return kErrorFileNotFound;
    }
    k->values.erase(it);
    return kErrorSuccess;
}

RegResult SimRegistry::DeleteKey(KeyHandle parent, std::string_view subKey) {
    Key* at = nullptr;
    if (const RegResult r = Lookup(parent, 0, at); r != kErrorSuccess) {
        return r;
    }
    std::vector<std::string> path =
        parent == kHkeyCurrentUser ? std::vector<std::string>{} : handles_.at(parent).path;
    const auto parts = Split(subKey);
    path.insert(path.end(), parts.begin(), parts.end());
    const Key* target = parts.empty() ? nullptr : Resolve(path);
    if (target == nullptr) {
        return kErrorFileNotFound;
    }
    if (!target->subkeys.empty() || WriteDenied(path)) {
        return kErrorAccessDenied;
    }
    const std::string leaf = path.back();
    path.pop_back();
    Resolve(path)->subkeys.erase(leaf);
    return kErrorSuccess;
}

RegResult SimRegistry::QueryValue(KeyHandle key, std::string_view name, ValueType& type,
                                  std::uint8_t* buffer, std::uint32_t capacity,
                                  std::uint32_t& size) {
    desk_.MaybeRaise(SimCall::RegQueryValue);
    Key* k = nullptr;
    if (const RegResult r = Lookup(key, kKeyQueryValue, k); r != kErrorSuccess) {
        return r;
    }
    const auto it = k->values.find(name);
    if (it == k->values.end()) {
        return kErrorFileNotFound;
    }
    const RegValue& v = it->second;
    type = v.type;
    size = static_cast<std::uint32_t>(v.data.size());
    if (buffer == nullptr) {
        return kErrorSuccess;
    }
    const std::uint32_t copied = std::min(size, capacity);
    if (copied > 0) {
        std::memcpy(buffer, v.data.data(), copied);
    }
    return capacity < size ? kErrorMoreData : kErrorSuccess;
}

RegResult SimRegistry::CloseKey(KeyHandle key) {
    if (key == kHkeyCurrentUser) {
        return kErrorSuccess;
    }
    return handles_.erase(key) == 1 ? kErrorSuccess : kErrorInvalidHandle;
}

bool SimRegistry::KeyExists(std::string_view path) const {
    return Resolve(Split(path)) != nullptr;
}

std::optional<RegValue> SimRegistry::GetValue(std::string_view path, std::string_view name) const {
    const Key* k = Resolve(Split(path));
    if (k == nullptr) {
        return std::nullopt;
    }
    const auto it = k->values.find(name);
    if (it == k->values.end()) {
        return std::nullopt;
    }
    return it->second;
}

void SimRegistry::CreateKeyPath(std::string_view path) {
    Key* k = &root_;
    for (auto& part : Split(path)) {
        k = &k->subkeys[part];
    }
}

void SimRegistry::SetValue(std::string_view path, std::string_view name, ValueType type,
                           std::vector<std::uint8_t> data) {
    CreateKeyPath(path);
    Resolve(Split(path))
        ->values.insert_or_assign(std::string(name), RegValue{type, std::move(data)});
}

void SimRegistry::SetString(std::string_view path, std::string_view name, std::string_view text) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    SetValue(path, name, ValueType::Sz, std::move(data));
}

void SimRegistry::DeleteKey(std::string_view path) {
    auto parts = Split(path);
    if (parts.empty()) {
        root_ = Key{};
        return;
    }
    const std::string leaf = parts.back();
    parts.pop_back();
    if (Key* parent = Resolve(parts)) {
        parent->subkeys.erase(leaf);
    }
}

void SimRegistry::DenyWriteAccess(std::string_view path) {
    denyWrite_.push_back(Split(path));
}
void SimRegistry::DenyReadAccess(std::string_view path) {
    denyRead_.push_back(Split(path));
}
void SimRegistry::DenyCreate(std::string_view pathPrefix) {
    denyCreate_.push_back(Split(pathPrefix));
}
void SimRegistry::RefuseValues(std::string_view path) {
    refuseValues_.push_back(Split(path));
}

}  // namespace tb::sim
