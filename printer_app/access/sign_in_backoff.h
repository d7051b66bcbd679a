// Sign-ins that keep failing slow down: after 5 failures in a row from one client address or
// for one user, each further attempt waits, 1 s after the 5th failure and twice as long after
// each one more (at most a minute), whichever of the two is the later. Attempts made at once
// queue behind each other, so many connections guess no faster than one; an attempt that would
// have to wait more than a minute is refused unchecked. A right password, once its wait is
// over, signs in and clears both counts.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <string>

namespace qxapp {

class SignInBackoff {
 public:
  using Clock = std::chrono::steady_clock;

  struct Verdict {
    bool refused = false;    // too many waiting: not checked at all
    Clock::duration wait{};  // how long the attempt waits before it is checked
  };

  // An attempt begins: how long it waits (its place in the queue is kept).
  Verdict Begin(const std::string& address, const std::string& user, Clock::time_point now);
  // The attempt failed: the failures in a row now (the larger count of the two) and how long
  // the next attempt waits.
  struct Failure {
    int count = 0;
    Clock::duration nextWait{};
  };
  Failure Failed(const std::string& address, const std::string& user, Clock::time_point now);
  void Succeeded(const std::string& address, const std::string& user);

  static Clock::duration DelayAfter(int failures);

  static constexpr int kFreeFailures = 5;
  static constexpr std::chrono::seconds kMaxDelay{60};
  static constexpr size_t kMaxEntries = 4096;

 private:
  struct Entry {
    int failures = 0;
    Clock::time_point notBefore{};
    Clock::time_point lastFailure{};
  };
  void Prune(Clock::time_point now);

  std::mutex m_mutex;
  std::map<std::string, Entry> m_entries;  // "a:ADDRESS" and "u:USER"
};

// The app's one record of sign-in failures.
SignInBackoff& SignIns();

}  // namespace qxapp
