#include "platform/stop_signals.h"

#include <windows.h>

#include <atomic>
#include <csignal>

namespace segsniff::platform {

namespace {

// The console calls its handlers on a thread of its own.
std::atomic<int> pending{0};

// Ctrl-C and Ctrl-Break are noted the first time; the second time the
// default handler runs and ends the process.  A console being closed, the
// user logging off or the system shutting down end the process whatever a
// handler does, so they are left to the default.
BOOL WINAPI note_stop(DWORD event) {
  const int signal = event == CTRL_C_EVENT ? SIGINT : event == CTRL_BREAK_EVENT ? SIGBREAK : 0;
  if (signal == 0) return FALSE;
  int none = 0;
  return pending.compare_exchange_strong(none, signal) ? TRUE : FALSE;
}

}  // namespace

struct StopSignalScope::Previous {
  bool installed = false;
};

StopSignalScope::StopSignalScope() : previous_(std::make_unique<Previous>()) {
  pending = 0;
  previous_->installed = SetConsoleCtrlHandler(note_stop, TRUE) != 0;
}

StopSignalScope::~StopSignalScope() {
  if (previous_->installed) SetConsoleCtrlHandler(note_stop, FALSE);
}

int stop_signal_pending() { return pending; }

void end_by_signal(int) {
  ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

}  // namespace segsniff::platform
