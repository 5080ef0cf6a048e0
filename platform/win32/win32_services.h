// The registry under HKEY_CURRENT_USER, the shell's "open", and the named mutex, on Win32.
#pragma once

#include <windows.h>

#include "platform/mutex.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/win32/win32_handles.h"

namespace tb::win32 {

// Key handles are the HKEY values themselves; kHkeyCurrentUser stands for the hive.
class Win32Registry final : public Registry {
  public:
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
};

class Win32Shell final : public Shell {
  public:
    void Open(std::string_view target) override;
};

// The handle is held until the process ends; the program never closes it itself.
class Win32NamedMutex final : public NamedMutex {
  public:
    void Create(std::string_view name) override;

  private:
    UniqueHandle mutex_;
};

}  // namespace tb::win32
