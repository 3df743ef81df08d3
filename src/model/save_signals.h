// Signals while a save has its temporary file on disk. SIGINT, SIGTERM and
// SIGHUP first remove that file, then end the process as they would have
// (status as the shell expects); SIGXFSZ is ignored, so that a file-size limit
// (ulimit -f) makes the write fail with EFBIG instead of killing the process.
// Signals that were ignored when the guard was made are left alone; one that
// had a handler of its own gets it once the file is removed.
#pragma once

#include <signal.h>

#include <string>

namespace ostrel {

class SaveSignalGuard {
 public:
  SaveSignalGuard();
  ~SaveSignalGuard();  // restores what it changed; forgets the file
  SaveSignalGuard(const SaveSignalGuard&) = delete;
  SaveSignalGuard& operator=(const SaveSignalGuard&) = delete;

  // Runs `create` with the signals held back, and has the handlers remove the
  // file whose path it returns (empty: none), so that no signal comes between
  // its creation and its watch.
  template <typename Create>
  auto watchWhile(Create create) {
    hold();
    auto created = create();
    if (created.ok()) watch(created.value().path);
    release();
    return created;
  }

  // The file is renamed or removed: the handlers leave it alone.
  void forget();

 private:
  void hold();
  void release();
  void watch(const std::string& path);

  static constexpr int handled[] = {SIGINT, SIGTERM, SIGHUP, SIGXFSZ};
  struct sigaction previous_[std::size(handled)]{};
  bool changed_[std::size(handled)]{};
  sigset_t previousMask_{};
};

}  // namespace ostrel
