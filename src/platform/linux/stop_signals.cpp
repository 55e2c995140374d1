#include "platform/stop_signals.h"

#include <unistd.h>

#include <csignal>

namespace segsniff::platform {

namespace {

constexpr int stop_signals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t pending = 0;

void note_stop(int signal) {
  if (pending == 0) {
    pending = signal;
    return;
  }
  // Asked twice: end now.  The signal is blocked while its handler runs,
  // so it is delivered, with its default action, on the way out.
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

struct StopSignalScope::Previous {
  struct sigaction action[4]{};
};

StopSignalScope::StopSignalScope() : previous_(std::make_unique<Previous>()) {
  pending = 0;
  struct sigaction action {};
  action.sa_handler = note_stop;
  action.sa_flags = SA_RESTART;  // the program's own calls go on undisturbed
  sigemptyset(&action.sa_mask);
  for (int i = 0; i < 3; ++i) {
    // A signal ignored from the start (nohup, a background job) stays so.
    ::sigaction(stop_signals[i], nullptr, &previous_->action[i]);
    if (previous_->action[i].sa_handler != SIG_IGN) ::sigaction(stop_signals[i], &action, nullptr);
  }
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, &previous_->action[3]);
}

StopSignalScope::~StopSignalScope() {
  for (int i = 0; i < 3; ++i) ::sigaction(stop_signals[i], &previous_->action[i], nullptr);
  ::sigaction(SIGPIPE, &previous_->action[3], nullptr);
}

int stop_signal_pending() { return pending; }

void end_by_signal(int signal) {
  std::signal(signal, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
  std::raise(signal);
  ::_exit(128 + signal);  // should the signal be blocked after all
}

}  // namespace segsniff::platform
