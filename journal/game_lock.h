// The game folder's lock: one copy of the program at a time changes a game,
// whichever program folder it runs from. It is the operating system's lock
// of the file game folder + "/mod_journal_lock", so the system drops it when
// a process dies and a crash never leaves it held. It is taken before a
// cut-off operation's journal is read or undone and held until the
// operation has committed; the file goes when the lock is let go, so a
// reverted game keeps nothing of the program's.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"

namespace korva {

// What a copy says when another copy holds the game's lock.
inline constexpr char kGameLockedMessage[] =
    "Another copy of the program is changing the game. Try again when it has finished.";
// What it shows while it waits for the lock.
inline constexpr char kWaitingForLockText[] =
    "Waiting for another copy of the program to finish changing the game";

std::string GameLockPath(const std::string& gameFolder);  // game folder + "/mod_journal_lock"

class GameLock {
 public:
  explicit GameLock(Platform& platform) : platform_(platform) {}
  ~GameLock();
  GameLock(const GameLock&) = delete;
  GameLock& operator=(const GameLock&) = delete;

  // Takes the lock of `gameFolder`; taking it again while held only counts.
  // When another copy holds it, waits up to `wait` milliseconds, calling
  // `waiting` about every 100 ms (false stops the wait), then fails with
  // kGameLockedMessage. Where the lock file cannot be made (a read-only
  // folder or drive, a folder that is gone) nothing is locked: no copy can
  // change anything there, and each change says why it failed.
  Status Take(const std::string& gameFolder, int wait = 5000,
              const std::function<bool()>& waiting = nullptr);
  // Gives back one Take; the last lets the lock go and removes its file.
  void Give();
  bool held() const { return depth_ > 0; }

 private:
  Platform& platform_;
  int depth_ = 0;
  bool locked_ = false;  // false while held without a lock file
  std::string path_;
  intptr_t handle_ = 0;
};

}  // namespace korva
