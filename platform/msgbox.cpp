#include "platform/msgbox.h"

#include <atomic>
#include <cstdio>

namespace platform {
namespace {

void PrintToStandardError(const char* text, const char* /*caption*/) {
  std::fprintf(stderr, "%s\n", text);
  std::fflush(stderr);
}

std::atomic<MessageBoxHandler> g_handler{nullptr};

}  // namespace

void SetMessageBoxHandler(MessageBoxHandler handler) { g_handler.store(handler); }

void ShowUnownedMessageBox(const char* text, const char* caption) {
  MessageBoxHandler h = g_handler.load();
  (h ? h : PrintToStandardError)(text, caption);
}

}  // namespace platform
