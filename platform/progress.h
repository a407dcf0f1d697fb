// Progress: how far a long piece of work is. Whoever watches (the window's
// progress dialog, the command line's status line) hears it at most every
// 50 ms and answers whether to go on; the work calls Advance often (for
// each file, each block, each look at an outside program), so the watcher
// hears from it at least every 100 ms. Everything stays on one thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace korva {

class Progress {
 public:
  // What is being done, the units (bytes) done and in all; false to cancel.
  using Watcher = std::function<bool(uint64_t done, uint64_t total, const std::string& doing)>;

  Progress() = default;  // nobody watches: Advance always goes on
  explicit Progress(Watcher watcher) : watcher_(std::move(watcher)) {}

  // Starts a stage of the work: what it does and how many units it takes.
  void Stage(const std::string& doing, uint64_t total) {
    doing_ = doing;
    done_ = 0;
    total_ = total;
    Tell(true);
  }
  // Says what is being done now, within the same count.
  void Say(const std::string& doing) {
    doing_ = doing;
    Tell(true);
  }
  // `amount` more units are done (0: only time has passed). False once the
  // user has asked to cancel.
  bool Advance(uint64_t amount = 0) {
    done_ += amount;
    return Tell(false);
  }
  bool cancelled() const { return cancelled_; }

 private:
  bool Tell(bool now) {
    if (!watcher_ || cancelled_) return !cancelled_;
    const auto time = std::chrono::steady_clock::now();
    if (!now && time - told_ < std::chrono::milliseconds(50)) return true;
    told_ = time;
    cancelled_ = !watcher_(done_ < total_ ? done_ : total_, total_, doing_);
    return !cancelled_;
  }

  Watcher watcher_;
  std::string doing_;
  uint64_t done_ = 0;
  uint64_t total_ = 0;
  std::chrono::steady_clock::time_point told_;
  bool cancelled_ = false;
};

}  // namespace korva
