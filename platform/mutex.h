// A named, system-wide mutex the program holds for its whole life and never tests.
#pragma once

#include <string_view>

namespace tb {

class NamedMutex {
  public:
    virtual ~NamedMutex() = default;
    // CreateMutexA(NULL, FALSE, name): creates or opens it; the handle stays open until exit.
    virtual void Create(std::string_view name) = 0;
};

}  // namespace tb
