// The program's warning box.
#include "desktop/error_box.h"

namespace tb {

void ShowError(FormsRuntime& forms, std::string_view description) {
    forms.MessageBox(description, kApplicationTitle, kMbOk | kMbIconExclamation);
}

}  // namespace tb
