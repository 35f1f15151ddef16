// The marker of a running copy of a program within one logon (CreateMutexA with a plain
// name, and GetLastError's ERROR_ALREADY_EXISTS).
//
// Windows: a named kernel mutex. Linux: a file in the user's runtime directory
// ($XDG_RUNTIME_DIR, else a folder of the user's own under /tmp) locked with flock for the
// life of the process and freed by the system when the process ends. Never waited on.
#pragma once

namespace platform {

enum class InstanceMarker {
  Created,        // no other process held the marker; this one holds it now
  AlreadyExists,  // another process holds it
  Failed,         // it could not be made or tested
};

// Creates or opens the marker `name` and keeps it for the rest of the process's life.
InstanceMarker CreateInstanceMarker(const char* name);

// For tests that run the start-up more than once in one process: lets go of every marker
// this process made, as the end of the process would.
void ReleaseInstanceMarkers();

}  // namespace platform
