// The signals that ask a run to stop: on POSIX SIGINT (Ctrl-C), SIGTERM and
// SIGHUP; on Windows the console's Ctrl-C and Ctrl-Break, noted as SIGINT
// and SIGBREAK.  While a StopSignalScope lives, the first such signal is only
// noted, so that the program can bring what it writes to a sound end at its
// next safe point and then end as the signal would have ended it; a second
// one ends the process at once.  SIGPIPE is ignored meanwhile, so that a
// reader of standard output going away comes back as a failed write (which
// ends the run through its own way out) rather than as sudden death
// (Windows has no such signal: the write fails there anyway).
#pragma once

#include <memory>

namespace segsniff::platform {

class StopSignalScope {
 public:
  StopSignalScope();
  // Puts the previous dispositions back.  A signal noted and not yet acted
  // on stays noted (stop_signal_pending) for the owner to act on.
  ~StopSignalScope();
  StopSignalScope(const StopSignalScope&) = delete;
  StopSignalScope& operator=(const StopSignalScope&) = delete;

 private:
  struct Previous;  // the dispositions the scope replaced
  std::unique_ptr<Previous> previous_;
};

// The stop signal noted since the scope began, or 0.
int stop_signal_pending();

// Ends the process as `signal` ends it by default (on Windows as the
// console's default handler does: exit status STATUS_CONTROL_C_EXIT).
[[noreturn]] void end_by_signal(int signal);

}  // namespace segsniff::platform
