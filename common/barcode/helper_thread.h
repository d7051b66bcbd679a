// A thread kept beside the calling one for work that can run meanwhile. A thread made for each
// piece of work starts late on a busy machine, the scheduler letting it wait its turn behind the
// threads already running; a kept thread that was waiting is woken at once.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace qxvn::barcode {

class HelperThread {
 public:
  HelperThread() = default;
  // Waits for the work in hand, then ends the thread.
  ~HelperThread();
  HelperThread(const HelperThread&) = delete;
  HelperThread& operator=(const HelperThread&) = delete;

  // Work started; waited for when it goes, so that nothing it uses goes before it has run.
  class Running {
   public:
    Running() = default;
    explicit Running(HelperThread* helper) : m_helper(helper) {}
    Running(Running&& other) noexcept : m_helper(std::exchange(other.m_helper, nullptr)) {}
    Running& operator=(Running&& other) noexcept {
      Wait();
      m_helper = std::exchange(other.m_helper, nullptr);
      return *this;
    }
    ~Running() { Wait(); }
    // Returns once the work has run.
    void Wait() {
      if (m_helper) std::exchange(m_helper, nullptr)->Wait();
    }

   private:
    HelperThread* m_helper = nullptr;
  };

  // Starts `work` on the kept thread, or runs it here when no thread can be had. `work` must not
  // throw. One piece at a time: the next starts after this one's Running is done.
  [[nodiscard]] Running Start(std::function<void()> work);

  // The calling thread's own helper, made the first time it asks and ended with it.
  static HelperThread& OfThisThread();

 private:
  void Wait();
  void Serve();

  std::mutex m_lock;
  std::condition_variable m_changed;
  std::function<void()> m_work;
  bool m_busy = false;
  bool m_stopping = false;
  std::thread m_thread;
};

}  // namespace qxvn::barcode
