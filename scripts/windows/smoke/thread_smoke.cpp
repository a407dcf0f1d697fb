// std::thread, std::mutex and std::condition_variable with the POSIX thread
// model of mingw-w64 (winpthreads, linked statically).
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

int main() {
  std::mutex mutex;
  std::condition_variable changed;
  long long total = 0;
  int finished = 0;
  std::atomic<long long> atomicTotal{0};
  std::thread::id ids[2];

  auto work = [&](int index, long long from, long long to) {
    ids[index] = std::this_thread::get_id();
    long long sum = 0;
    for (long long i = from; i < to; ++i) {
      sum += i;
      atomicTotal.fetch_add(1, std::memory_order_relaxed);
    }
    std::lock_guard<std::mutex> lock(mutex);
    total += sum;
    ++finished;
    changed.notify_all();
  };
  std::thread first(work, 0, 0LL, 500000LL);
  std::thread second(work, 1, 500000LL, 1000000LL);
  {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return finished == 2; });
  }
  first.join();
  second.join();

  bool ok = total == 499999500000LL && atomicTotal == 1000000 && ids[0] != ids[1] &&
            ids[0] != std::this_thread::get_id();
  std::printf("two threads: total %lld, %lld increments, %u hardware threads\n", total, atomicTotal.load(),
              std::thread::hardware_concurrency());
  std::printf("%s\n", ok ? "thread smoke test passed" : "thread smoke test FAILED");
  return ok ? 0 : 1;
}
