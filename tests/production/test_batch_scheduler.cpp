#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "production/batch_scheduler.h"

namespace mirelo::production {
namespace {

using Runner = OrderedRunner<int>;

TEST(OrderedRunner, ConsumesInIndexOrderWhateverTheFinishingOrder) {
  for (int workers : {1, 3, 8}) {
    std::vector<int> consumed;
    const int count = Runner::Run(
        20, workers, 2 * workers,
        [](int, int index) {
          // Later entries finish first.
          std::this_thread::sleep_for(std::chrono::microseconds((20 - index) * 200));
          return index * 10;
        },
        [](int) { return true; },
        [&](int index, int&& work) {
          EXPECT_EQ(work, index * 10);
          consumed.push_back(index);
          return true;
        });
    EXPECT_EQ(count, 20);
    ASSERT_EQ(consumed.size(), 20u) << workers;
    for (int i = 0; i < 20; ++i) EXPECT_EQ(consumed[static_cast<std::size_t>(i)], i);
  }
}

TEST(OrderedRunner, NeverRunsMoreThanTheWindowAheadOfTheConsumer) {
  std::atomic<int> consumedUpTo{0};
  std::atomic<int> worstLead{0};
  const int window = 4;
  Runner::Run(
      40, 3, window,
      [&](int, int index) {
        const int lead = index - consumedUpTo.load();
        int seen = worstLead.load();
        while (lead > seen && !worstLead.compare_exchange_weak(seen, lead)) {
        }
        return index;
      },
      [](int) { return true; },
      [&](int index, int&&) {
        // A slow consumer lets the workers run into the window's end.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        consumedUpTo.store(index + 1);
        return true;
      });
  EXPECT_LT(worstLead.load(), window);
}

TEST(OrderedRunner, StoppingDiscardsWorkAndProducesNothingBeyondTheWindow) {
  std::mutex mutex;
  std::vector<int> produced;
  std::vector<int> consumed;
  const int count = Runner::Run(
      100, 2, 4,
      [&](int, int index) {
        std::lock_guard lock(mutex);
        produced.push_back(index);
        return index;
      },
      [](int index) { return index != 5; },  // a cancel seen before entry 5
      [&](int index, int&&) {
        consumed.push_back(index);
        return true;
      });
  EXPECT_EQ(count, 5);
  EXPECT_EQ(consumed, (std::vector<int>{0, 1, 2, 3, 4}));
  std::lock_guard lock(mutex);
  for (int index : produced) EXPECT_LT(index, 5 + 4);
}

TEST(OrderedRunner, ConsumerStopsAfterAnEntry) {
  std::vector<int> consumed;
  const int count = Runner::Run(
      10, 4, 8, [](int, int index) { return index; }, [](int) { return true; },
      [&](int index, int&&) {
        consumed.push_back(index);
        return index != 2;
      });
  EXPECT_EQ(count, 2);
  EXPECT_EQ(consumed, (std::vector<int>{0, 1, 2}));
}

TEST(OrderedRunner, AnExceptionOfAWorkerReachesTheConsumerAtItsEntry) {
  std::vector<int> consumed;
  EXPECT_THROW(Runner::Run(
                   6, 2, 4,
                   [](int, int index) {
                     if (index == 3) throw std::runtime_error("worker");
                     return index;
                   },
                   [](int) { return true; },
                   [&](int index, int&&) {
                     consumed.push_back(index);
                     return true;
                   }),
               std::runtime_error);
  EXPECT_EQ(consumed, (std::vector<int>{0, 1, 2}));
}

TEST(OrderedRunner, EachWorkerIndexIsUsedByOneThreadOnly) {
  std::mutex mutex;
  std::vector<std::thread::id> owner(4);
  bool shared = false;
  Runner::Run(
      64, 4, 8,
      [&](int worker, int index) {
        std::lock_guard lock(mutex);
        auto& id = owner[static_cast<std::size_t>(worker)];
        if (id == std::thread::id()) id = std::this_thread::get_id();
        if (id != std::this_thread::get_id()) shared = true;
        return index;
      },
      [](int) { return true; }, [](int, int&&) { return true; });
  EXPECT_FALSE(shared);
}

}  // namespace
}  // namespace mirelo::production
