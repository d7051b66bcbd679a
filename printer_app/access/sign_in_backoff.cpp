#include "printer_app/access/sign_in_backoff.h"

#include <algorithm>

namespace qxapp {
namespace {

// A record no one has failed on for this long is forgotten.
constexpr std::chrono::hours kForgetAfter{1};

}  // namespace

SignInBackoff::Clock::duration SignInBackoff::DelayAfter(int failures) {
  if (failures < kFreeFailures) return {};
  const Clock::duration delay = std::chrono::seconds(1) * (1 << std::min(failures - kFreeFailures, 6));
  return std::min<Clock::duration>(delay, kMaxDelay);
}

SignInBackoff::Verdict SignInBackoff::Begin(const std::string& address, const std::string& user,
                                            Clock::time_point now) {
  std::lock_guard<std::mutex> lock(m_mutex);
  Entry* entries[2] = {nullptr, nullptr};
  const std::string keys[2] = {"a:" + address, "u:" + user};
  Clock::time_point slot = now;
  for (int i = 0; i < 2; ++i) {
    if (auto found = m_entries.find(keys[i]); found != m_entries.end()) {
      entries[i] = &found->second;
      slot = std::max(slot, found->second.notBefore);
    }
  }
  Verdict verdict;
  if (slot - now > kMaxDelay) {
    verdict.refused = true;
    return verdict;
  }
  // The next attempt comes after this one's turn.
  for (Entry* entry : entries)
    if (entry && entry->failures >= kFreeFailures) entry->notBefore = slot + DelayAfter(entry->failures);
  verdict.wait = slot - now;
  return verdict;
}

SignInBackoff::Failure SignInBackoff::Failed(const std::string& address, const std::string& user,
                                             Clock::time_point now) {
  std::lock_guard<std::mutex> lock(m_mutex);
  Failure failure;
  for (const std::string& key : {"a:" + address, "u:" + user}) {
    Entry& entry = m_entries[key];
    ++entry.failures;
    entry.lastFailure = now;
    if (entry.failures >= kFreeFailures)
      entry.notBefore = std::max(entry.notBefore, now + DelayAfter(entry.failures));
    failure.count = std::max(failure.count, entry.failures);
    failure.nextWait = std::max<Clock::duration>(failure.nextWait, entry.notBefore - now);
  }
  if (m_entries.size() > kMaxEntries) Prune(now);
  return failure;
}

void SignInBackoff::Succeeded(const std::string& address, const std::string& user) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_entries.erase("a:" + address);
  m_entries.erase("u:" + user);
}

void SignInBackoff::Prune(Clock::time_point now) {
  for (auto it = m_entries.begin(); it != m_entries.end();)
    it = now - it->second.lastFailure > kForgetAfter && it->second.notBefore <= now ? m_entries.erase(it)
                                                                                    : std::next(it);
  while (m_entries.size() > kMaxEntries)
    m_entries.erase(std::min_element(m_entries.begin(), m_entries.end(), [](const auto& a, const auto& b) {
      return a.second.lastFailure < b.second.lastFailure;
    }));
}

SignInBackoff& SignIns() {
  static SignInBackoff backoff;
  return backoff;
}

}  // namespace qxapp
