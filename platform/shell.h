// Handing a document or web address to the user's default handler.
#pragma once

#include <string_view>

namespace tb {

class Shell {
  public:
    virtual ~Shell() = default;
    // ShellExecute with the default verb and SW_SHOWNORMAL; failure is silent to the caller.
    virtual void Open(std::string_view target) = 0;
};

}  // namespace tb
