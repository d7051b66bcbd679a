#include "common/barcode/helper_thread.h"

#include <memory>
#include <new>
#include <system_error>
#include <vector>

namespace qxvn::barcode {
namespace {

// The helpers live as long as the process, waiting for work: none is ever ended, so none can be
// ended under a caller at exit.
struct Helpers {
  std::mutex lock;
  std::vector<HelperThread*> idle;
  size_t made = 0;
};

Helpers& TheHelpers() {
  static Helpers* helpers = new Helpers;
  return *helpers;
}

}  // namespace

HelperThread::HelperThread() : m_thread([this] { Serve(); }) {}

HelperThread::Running HelperThread::Start(std::function<void()> work) {
  Helpers& helpers = TheHelpers();
  HelperThread* helper = nullptr;
  {
    std::lock_guard<std::mutex> hold(helpers.lock);
    if (!helpers.idle.empty()) {
      helper = helpers.idle.back();
      helpers.idle.pop_back();
    } else if (helpers.made < kMostHelpers) {
      try {
        helper = new HelperThread;
        ++helpers.made;
      } catch (const std::system_error&) {
      } catch (const std::bad_alloc&) {
      }
    }
  }
  if (!helper) {
    work();
    return Running();
  }
  helper->Begin(std::move(work));
  return Running(helper);
}

void HelperThread::Begin(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> hold(m_lock);
    m_work = std::move(work);
    m_busy = true;
  }
  m_changed.notify_all();
}

void HelperThread::Finish() {
  {
    std::unique_lock<std::mutex> hold(m_lock);
    m_changed.wait(hold, [this] { return !m_busy; });
  }
  Helpers& helpers = TheHelpers();
  std::lock_guard<std::mutex> hold(helpers.lock);
  helpers.idle.push_back(this);
}

void HelperThread::Serve() {
  std::unique_lock<std::mutex> hold(m_lock);
  for (;;) {
    m_changed.wait(hold, [this] { return m_busy; });
    std::function<void()> work = std::move(m_work);
    hold.unlock();
    work();
    hold.lock();
    m_busy = false;
    m_changed.notify_all();
  }
}

}  // namespace qxvn::barcode
