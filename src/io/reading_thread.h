// A thread that reads for one input after another: made once for the
// inputs a job reads ahead, so that a set of thousands of tiles does not
// start and end a thread for each.
#ifndef STRATUMIX_IO_READING_THREAD_H_
#define STRATUMIX_IO_READING_THREAD_H_

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class ReadingThread {
 public:
  ReadingThread();
  // Waits for the task it runs, then ends the thread.
  ~ReadingThread();
  ReadingThread(const ReadingThread&) = delete;
  ReadingThread& operator=(const ReadingThread&) = delete;

  // Runs `task` on the thread, once the task before has returned.
  void run(std::function<void()> task);
  // Waits until the task given last has returned. Only for tasks that end
  // when asked to: a task waiting on a pipe would keep it waiting.
  void wait();

 private:
  void serve();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> task_;
  bool busy_ = false;
  bool ending_ = false;
  std::thread thread_;
};

#endif  // STRATUMIX_IO_READING_THREAD_H_
