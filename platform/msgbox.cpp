#include "platform/msgbox.h"

#include <atomic>
#include <cstdio>
#include <string>

#include "platform/console.h"

namespace platform {
namespace {

void PrintToStandardError(const char* text, const char* /*caption*/) {
  WriteText(stderr, std::string(text) + "\n");
}

std::atomic<MessageBoxHandler> g_handler{nullptr};

}  // namespace

void SetMessageBoxHandler(MessageBoxHandler handler) { g_handler.store(handler); }

void ShowUnownedMessageBox(const char* text, const char* caption) {
  MessageBoxHandler h = g_handler.load();
  (h ? h : PrintToStandardError)(text, caption);
}

}  // namespace platform
