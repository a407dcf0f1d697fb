// Work shared among threads. Block rows are handed out one at a time from a
// shared counter, so a thread that meets easy rows takes more of them; each
// row is coded by exactly one thread and touches only its own part of the
// output, so the result is the same for any number of threads.
#pragma once

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "tools/texture/texture.h"

namespace korva {

// The number of threads `options` asks for: one per core when 0, at most 8.
inline int ThreadCount(const CodecOptions& options) {
  static const int cores = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(options.threads > 0 ? options.threads : cores, 1, 8);
}

// Calls work(item, thread) once for every item in [0, count), on up to
// `threads` threads (numbered from 0, the calling thread being 0), but on
// one thread only when there are fewer than 2 * `minItems` items: starting
// a thread costs about as much as `minItems` items.
template <typename Work>
void ForEachItem(int count, int threads, int minItems, const Work& work) {
  threads = std::max(1, std::min(threads, count / std::max(1, minItems)));
  std::atomic<int> next{0};
  auto run = [&](int thread) {
    for (int item = next.fetch_add(1); item < count; item = next.fetch_add(1)) work(item, thread);
  };
  std::vector<std::thread> workers;
  workers.reserve(static_cast<size_t>(threads - 1));
  for (int t = 1; t < threads; ++t) workers.emplace_back(run, t);
  run(0);
  for (std::thread& worker : workers) worker.join();
}

}  // namespace korva
