#include "io/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// Tasks taken from one list by every thread; one of them fails. The failure
// reaches the caller, once every thread has ended (an unjoined thread would
// end the test program), and the threads left do every other task.
TEST(Threads, AFailureOnAnyThreadReachesTheCallerOnceAllHaveEnded) {
  for (std::size_t count : {1u, 2u, 4u}) {
    for (int failing : {0, 500, 999}) {
      constexpr int kTasks = 1000;
      std::atomic<int> next{0};
      std::vector<std::atomic<int>> done(kTasks);
      std::atomic<int> running{0};
      auto work = [&] {
        ++running;
        for (int i; (i = next.fetch_add(1)) < kTasks;) {
          if (i == failing) {
            --running;
            throw std::runtime_error("task " + std::to_string(i));
          }
          ++done[static_cast<std::size_t>(i)];
        }
        --running;
      };
      try {
        threads::run_on(count, work);
        ADD_FAILURE() << "nothing thrown";
      } catch (const std::runtime_error& error) {
        EXPECT_EQ(error.what(), "task " + std::to_string(failing));
      }
      EXPECT_EQ(running.load(), 0);
      // Alone, the thread that failed leaves the tasks after it.
      for (int i = 0; i < kTasks; ++i) {
        const int expected = i == failing ? 0 : i < failing || count > 1 ? 1 : 0;
        EXPECT_EQ(done[static_cast<std::size_t>(i)].load(), expected) << count << " " << i;
      }
    }
  }
}

TEST(Threads, WorkWithoutFailureIsDoneOnceOnEveryThreadAsked) {
  std::atomic<int> calls{0};
  std::vector<std::thread::id> ids(3);
  threads::run_on(3, [&] { ids[static_cast<std::size_t>(calls++)] = std::this_thread::get_id(); });
  EXPECT_EQ(calls.load(), 3);
  EXPECT_NE(ids[0], ids[1]);
  EXPECT_NE(ids[1], ids[2]);
  EXPECT_NE(ids[0], ids[2]);
}

}  // namespace
