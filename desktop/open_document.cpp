// Handing a web address to the user's default handler.
#include "desktop/open_document.h"

#include <exception>

namespace tb {

void OpenDocument(Shell& shell, std::string_view target) {
    try {
        shell.Open(target);
    } catch (const std::exception&) {
        // Nothing to tell the user that the browser would not have shown them.
    }
}

}  // namespace tb
