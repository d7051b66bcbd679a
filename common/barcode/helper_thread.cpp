#include "common/barcode/helper_thread.h"

#include <system_error>

namespace qxvn::barcode {

HelperThread::~HelperThread() {
  {
    std::unique_lock<std::mutex> hold(m_lock);
    m_changed.wait(hold, [this] { return !m_busy; });
    m_stopping = true;
  }
  m_changed.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

HelperThread::Running HelperThread::Start(std::function<void()> work) {
  if (!m_thread.joinable()) {
    try {
      m_thread = std::thread([this] { Serve(); });
    } catch (const std::system_error&) {
      work();
      return Running();
    }
  }
  {
    std::lock_guard<std::mutex> hold(m_lock);
    m_work = std::move(work);
    m_busy = true;
  }
  m_changed.notify_all();
  return Running(this);
}

void HelperThread::Wait() {
  std::unique_lock<std::mutex> hold(m_lock);
  m_changed.wait(hold, [this] { return !m_busy; });
}

void HelperThread::Serve() {
  std::unique_lock<std::mutex> hold(m_lock);
  for (;;) {
    m_changed.wait(hold, [this] { return m_stopping || m_busy; });
    if (m_busy) {
      std::function<void()> work = std::move(m_work);
      hold.unlock();
      work();
      hold.lock();
      m_busy = false;
      m_changed.notify_all();
    } else {
      return;
    }
  }
}

HelperThread& HelperThread::OfThisThread() {
  thread_local HelperThread helper;
  return helper;
}

}  // namespace qxvn::barcode
