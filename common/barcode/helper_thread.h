// Threads kept for the process for work that can run beside the calling thread. A thread made
// for each piece of work starts late on a busy machine, the scheduler letting it wait its turn
// behind the threads already running, and each new thread brings a heap of its own; a kept thread
// that was waiting is woken at once.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace qxvn::barcode {

class HelperThread {
 public:
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
      if (m_helper) std::exchange(m_helper, nullptr)->Finish();
    }

   private:
    HelperThread* m_helper = nullptr;
  };

  // Starts `work` on an idle helper (a new one while there are fewer than kMostHelpers), or runs
  // it here when none can be had. `work` must not throw.
  [[nodiscard]] static Running Start(std::function<void()> work);

  static constexpr size_t kMostHelpers = 8;

 private:
  HelperThread();
  void Begin(std::function<void()> work);
  // Waits for the work, then puts the helper back among the idle ones.
  void Finish();
  void Serve();

  std::mutex m_lock;
  std::condition_variable m_changed;
  std::function<void()> m_work;
  bool m_busy = false;
  std::thread m_thread;
};

}  // namespace qxvn::barcode
