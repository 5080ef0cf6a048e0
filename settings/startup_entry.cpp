// The Run value and Task Manager's mark on it, over the registry interface.
#include "settings/startup_entry.h"

#include <array>
#include <cstdint>
#include <exception>
#include <string>

#include "desktop/error_box.h"

namespace tb::StartupEntry {

namespace {

// Task Manager marks a disabled Run entry with a binary value whose first byte is odd.
bool DisabledInTaskManager(Registry& registry) {
    UniqueKey key(registry);
    if (registry.OpenKeyEx(kStartupApprovedPath, kKeyRead, key.out()) != kErrorSuccess) {
        return false;
    }
    std::array<std::uint8_t, 16> data{};
    ValueType type = ValueType::Binary;
    std::uint32_t size = 0;
    const RegResult r = registry.QueryValue(key.get(), kRunValueName, type, data.data(),
                                            static_cast<std::uint32_t>(data.size()), size);
    if (r != kErrorSuccess && r != kErrorMoreData) {
        return false;
    }
    return type == ValueType::Binary && size >= 1 && (data[0] & 1) != 0;
}

}  // namespace

AddOutcome Add(Registry& registry, FormsRuntime& forms) {
    try {
        UniqueKey run(registry);
        if (registry.OpenKeyEx(kRunKeyPath, kKeyWrite, run.out()) != kErrorSuccess) {
            return AddOutcome::Refused;
        }
        // Quoted, so a path with spaces cannot start C:\Program.exe at logon instead.
        const std::string data = "\"" + forms.ProgramPath() + "\"";
        if (registry.SetStringValue(run.get(), kRunValueName, data) != kErrorSuccess) {
            return AddOutcome::Refused;
        }
        run.reset();

        // Ticking "Run at Startup" must also undo a "Disabled" set in Task Manager.
        UniqueKey approved(registry);
        if (registry.OpenKeyEx(kStartupApprovedPath, kKeyWrite, approved.out()) == kErrorSuccess) {
            registry.DeleteValue(approved.get(), kRunValueName);
        }
        return AddOutcome::Written;
    } catch (const std::exception& e) {
        ShowError(forms, e.what());
        return AddOutcome::Reported;
    }
}

void Remove(Registry& registry, FormsRuntime& forms) {
    try {
        UniqueKey run(registry);
        if (registry.OpenKeyEx(kRunKeyPath, kKeyWrite, run.out()) != kErrorSuccess) {
            return;
        }
        registry.DeleteValue(run.get(), kRunValueName);
    } catch (const std::exception& e) {
        ShowError(forms, e.what());
    }
}

bool Exists(Registry& registry, FormsRuntime& forms) {
    try {
        bool exists = false;
        {
            UniqueKey run(registry);
            if (registry.OpenKeyEx(kRunKeyPath, kKeyRead, run.out()) != kErrorSuccess) {
                return false;
            }
            std::array<std::uint8_t, 255> buffer;
            buffer.fill(' ');
            std::uint32_t length = static_cast<std::uint32_t>(buffer.size());
            ValueType type = ValueType::Sz;
            const RegResult r =
                registry.QueryValue(run.get(), kRunValueName, type, buffer.data(), length, length);
            // A value too long for the buffer still exists; only its data did not fit.
            exists = r == kErrorSuccess || r == kErrorMoreData;
        }
        return exists && !DisabledInTaskManager(registry);
    } catch (const std::exception& e) {
        ShowError(forms, e.what());
        return false;
    }
}

}  // namespace tb::StartupEntry
