#include "save_signals.h"

#include <unistd.h>

#include <cstring>

namespace ostrel {

namespace {

// Read by the handler, so plain static storage and an atomic flag.
char watchedPath[4096];
volatile sig_atomic_t watching = 0;
// The handler each signal had before, when it had one of its own: it runs
// once the file is gone.
void (*chained[NSIG])(int) = {};

extern "C" void removeAndDie(int signal) {
  if (watching) ::unlink(watchedPath);
  if (signal > 0 && signal < NSIG && chained[signal] != nullptr) {
    chained[signal](signal);
    return;
  }
  ::signal(signal, SIG_DFL);
  ::raise(signal);  // delivered when the handler returns, as the default now
}

sigset_t handledSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

SaveSignalGuard::SaveSignalGuard() {
  struct sigaction action {};
  action.sa_handler = removeAndDie;
  action.sa_mask = handledSet();  // one removal at a time
  for (std::size_t i = 0; i < std::size(handled); ++i) {
    if (::sigaction(handled[i], nullptr, &previous_[i]) != 0) continue;
    const bool caught = previous_[i].sa_handler != SIG_DFL && previous_[i].sa_handler != SIG_IGN;
    if ((previous_[i].sa_flags & SA_SIGINFO) != 0 || (handled[i] == SIGXFSZ && caught)) continue;
    if (previous_[i].sa_handler == SIG_IGN) continue;
    chained[handled[i]] = caught ? previous_[i].sa_handler : nullptr;
    action.sa_handler = handled[i] == SIGXFSZ ? SIG_IGN : removeAndDie;
    changed_[i] = ::sigaction(handled[i], &action, nullptr) == 0;
  }
}

SaveSignalGuard::~SaveSignalGuard() {
  forget();
  for (std::size_t i = 0; i < std::size(handled); ++i) {
    if (changed_[i]) ::sigaction(handled[i], &previous_[i], nullptr);
  }
}

void SaveSignalGuard::hold() {
  const sigset_t set = handledSet();
  ::sigprocmask(SIG_BLOCK, &set, &previousMask_);
}

void SaveSignalGuard::release() { ::sigprocmask(SIG_SETMASK, &previousMask_, nullptr); }

void SaveSignalGuard::watch(const std::string& path) {
  watching = 0;
  if (path.size() >= sizeof watchedPath) return;  // longer than any path the system takes
  std::memcpy(watchedPath, path.c_str(), path.size() + 1);
  watching = 1;
}

void SaveSignalGuard::forget() { watching = 0; }

}  // namespace ostrel
