// Opening a web address or a file with the desktop's default handler.
#pragma once

#include "platform/shell.h"

namespace tb::linux_desktop {

class DesktopShell final : public Shell {
  public:
    // GIO's default handler first, then xdg-open; a target nobody takes is dropped silently.
    void Open(std::string_view target) override;
};

}  // namespace tb::linux_desktop
