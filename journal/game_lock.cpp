#include "journal/game_lock.h"

#include <chrono>
#include <thread>

namespace korva {

std::string GameLockPath(const std::string& gameFolder) { return gameFolder + "/mod_journal_lock"; }

GameLock::~GameLock() {
  if (locked_) platform_.UnlockFile(path_, handle_);
}

Status GameLock::Take(const std::string& gameFolder, int wait,
                      const std::function<bool()>& waiting) {
  if (depth_ > 0) {
    ++depth_;
    return Status::Ok();
  }
  const std::string path = GameLockPath(gameFolder);
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait);
  for (;;) {
    bool taken = false;
    Status tried = platform_.TryLockFile(path, &taken, &handle_);
    if (!tried.ok()) {
      // No lock file where nothing can be written: nothing can be changed
      // there either.
      if (platform_.Exists(path)) return tried;
      depth_ = 1;
      return Status::Ok();
    }
    if (taken) {
      depth_ = 1;
      locked_ = true;
      path_ = path;
      return Status::Ok();
    }
    if (std::chrono::steady_clock::now() >= until || (waiting && !waiting())) {
      return Status::Error(kGameLockedMessage);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

void GameLock::Give() {
  if (depth_ == 0 || --depth_ > 0) return;
  if (locked_) platform_.UnlockFile(path_, handle_);
  locked_ = false;
}

}  // namespace korva
