// The settings store on Linux: registry keys under HKEY_CURRENT_USER as folders below the XDG
// configuration folder (the program's own key as $XDG_CONFIG_HOME/tapperbird), values as files,
// and the Run key as the XDG autostart folders: the user's, then the system-wide ones.
#pragma once

#include <string>
#include <vector>

#include "platform/registry.h"

namespace tb::linux_desktop {

class XdgRegistry final : public Registry {
  public:
    // `configHome` is the folder HKEY_CURRENT_USER\Software maps to; `systemConfigDirs` are the
    // system-wide configuration folders, most important first, whose autostart entries also run.
    // Makes the process ignore SIGXFSZ, so that a file-size limit fails a write cleanly.
    explicit XdgRegistry(std::string configHome, std::vector<std::string> systemConfigDirs = {});

    // $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config.
    static std::string DefaultConfigHome();
    // The absolute folders of $XDG_CONFIG_DIRS, else /etc/xdg.
    static std::vector<std::string> DefaultSystemConfigDirs();

    RegResult OpenKey(std::string_view path, KeyHandle& key) override;
    RegResult CreateKey(KeyHandle parent, std::string_view subPath, KeyHandle& key) override;
    RegResult OpenKeyEx(std::string_view path, std::uint32_t access, KeyHandle& key) override;
    RegResult SetStringValue(KeyHandle key, std::string_view name,
                             std::string_view utf8Data) override;
    RegResult DeleteValue(KeyHandle key, std::string_view name) override;
    RegResult DeleteKey(KeyHandle parent, std::string_view subKey) override;
    RegResult QueryValue(KeyHandle key, std::string_view name, ValueType& type,
                         std::uint8_t* buffer, std::uint32_t capacity,
                         std::uint32_t& size) override;
    RegResult CloseKey(KeyHandle key) override;

    // Where a key path lands in the file system; empty when it cannot be mapped.
    std::string FolderForKey(std::string_view path) const;
    // Where earlier versions kept a key of the program's own; empty for other keys.
    std::string EarlierFolderForKey(std::string_view path) const;

  private:
    struct OpenedKey {
        KeyHandle handle;
        std::string path;  // the key path below HKEY_CURRENT_USER, backslash-separated
        std::string folder;
        bool isRunKey;
    };

    // The autostart entry in force for `userFile`: the user's own, else the first system-wide one.
    struct RunEntry {
        std::string text;
        unsigned mode = 0;  // of the user's file
        bool inUserFolder = false;
        bool inSystemFolder = false;
        int userError = 0;  // why the user's file could not be read
    };

    RegResult Open(std::string_view path, bool needWrite, bool create, KeyHandle& key);
    RunEntry FindRunEntry(const std::string& userFile) const;
    // True when a system-wide entry of the same name would start were the user's not there.
    bool SystemEntryStarts(const std::string& userFile) const;
    const OpenedKey* Find(KeyHandle key) const;
    // The file that holds value `name` of `key`; empty for a name that is no file name.
    static std::string ValueFile(const OpenedKey& key, std::string_view name);
    // The opened key behind `key` and the file of its value `name`, for a value to be read or
    // changed; otherwise why not: an unknown handle, or `noFile` for a name that is no file name.
    RegResult FindValue(KeyHandle key, std::string_view name, RegResult noFile,
                        const OpenedKey*& opened, std::string& file) const;

    std::string configHome_;
    std::vector<std::string> systemConfigDirs_;
    std::vector<OpenedKey> keys_;
    KeyHandle nextHandle_ = 0x1000;
};

}  // namespace tb::linux_desktop
