// Modal message boxes asked for outside any dialog: the worker's own box, owned by no window.
//
// The window host installs a handler that shows the box and returns once the operator has
// closed it (the Win32 host shows it on the calling thread, as the system allows; the Qt host
// carries it to the user-interface thread); without a handler the text goes to standard
// error, which is what the command line wants.
#pragma once

namespace platform {

using MessageBoxHandler = void (*)(const char* text, const char* caption);

// Installs the handler (nullptr restores the standard-error default); install it before
// any worker starts.
void SetMessageBoxHandler(MessageBoxHandler handler);

// Shows text with caption and one OK button, owned by no window; returns when it is closed.
void ShowUnownedMessageBox(const char* text, const char* caption);

}  // namespace platform
