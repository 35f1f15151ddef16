// The dialog templates, written once: the Qt host and the Windows host both draw them.
#pragma once

#include "platform/dialog.h"

namespace res {

const platform::DialogTemplate& WorkDialogTemplate();  // 102, the main window
const platform::DialogTemplate& AboutBoxTemplate();    // 100

// The string table; an empty text for an id it does not hold.
const char* LoadResourceString(unsigned id);

}  // namespace res
