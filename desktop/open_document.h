// Handing a web address to the user's default handler.
#pragma once

#include <string_view>

#include "platform/shell.h"

namespace tb {

// Opens a document or web address; a target nobody accepts fails silently.
void OpenDocument(Shell& shell, std::string_view target);

}  // namespace tb
