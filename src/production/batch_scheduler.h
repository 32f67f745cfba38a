#pragma once

// Ordered parallel work: entries are produced on worker threads, at most `window` entries ahead
// of the consumer, and consumed one by one in index order on the calling thread. Stopping the
// consumer discards whatever was produced past that point.

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace mirelo::production {

template <class Work>
class OrderedRunner {
 public:
  // Builds the work of entry `index` on worker `worker` (0 .. workers - 1). Each worker calls it
  // from one thread only, so per-worker state indexed by `worker` needs no lock.
  using Produce = std::function<Work(int worker, int index)>;
  // Called on the calling thread before entry `index` is awaited; false stops the run there.
  using Before = std::function<bool(int index)>;
  // Takes the work of entry `index`, in index order; false stops the run after it.
  using Consume = std::function<bool(int index, Work&& work)>;

  // Runs entries 0 .. count - 1 and returns how many were consumed completely (consume returned
  // true). An exception from produce is rethrown on the calling thread when its entry is
  // consumed; an exception from before or consume stops the workers and propagates.
  static int Run(int count, int workers, int window, const Produce& produce, const Before& before,
                 const Consume& consume) {
    if (count <= 0) return 0;
    workers = std::clamp(workers, 1, count);
    window = std::max(window, workers);

    State state;
    state.slots.resize(static_cast<std::size_t>(count));
    std::vector<std::thread> threads;
    threads.reserve(static_cast<std::size_t>(workers));
    for (int w = 0; w < workers; ++w) {
      threads.emplace_back([&state, &produce, count, window, w] { WorkerLoop(state, produce, count, window, w); });
    }

    int consumed = 0;
    try {
      for (int i = 0; i < count; ++i) {
        if (!before(i)) break;
        Slot slot;
        {
          std::unique_lock lock(state.mutex);
          state.ready.wait(lock, [&] { return state.slots[static_cast<std::size_t>(i)].done; });
          slot = std::move(state.slots[static_cast<std::size_t>(i)]);
          state.slots[static_cast<std::size_t>(i)] = Slot{};
        }
        if (slot.error) std::rethrow_exception(slot.error);
        const bool goOn = consume(i, std::move(*slot.work));
        if (!goOn) break;
        ++consumed;
        {
          std::lock_guard lock(state.mutex);
          state.committed = i + 1;
        }
        state.space.notify_all();
      }
    } catch (...) {
      Stop(state, threads);
      throw;
    }
    Stop(state, threads);
    return consumed;
  }

 private:
  struct Slot {
    bool done = false;
    std::optional<Work> work;
    std::exception_ptr error;
  };
  struct State {
    std::mutex mutex;
    std::condition_variable space;  // workers: the window moved or the run stops
    std::condition_variable ready;  // consumer: an entry was finished
    std::vector<Slot> slots;
    int next = 0;       // next entry to hand out
    int committed = 0;  // entries consumed so far
    bool stop = false;
  };

  static void WorkerLoop(State& state, const Produce& produce, int count, int window, int worker) {
    for (;;) {
      int index = 0;
      {
        std::unique_lock lock(state.mutex);
        state.space.wait(lock, [&] { return state.stop || state.next >= count || state.next < state.committed + window; });
        if (state.stop || state.next >= count) return;
        index = state.next++;
      }
      Slot slot;
      try {
        slot.work.emplace(produce(worker, index));
      } catch (...) {
        slot.error = std::current_exception();
      }
      slot.done = true;
      {
        std::lock_guard lock(state.mutex);
        if (state.stop) return;  // discarded: the consumer has gone
        state.slots[static_cast<std::size_t>(index)] = std::move(slot);
      }
      state.ready.notify_one();
    }
  }

  static void Stop(State& state, std::vector<std::thread>& threads) {
    {
      std::lock_guard lock(state.mutex);
      state.stop = true;
    }
    state.space.notify_all();
    for (auto& t : threads) t.join();
  }
};

}  // namespace mirelo::production
