// The printer application's policies as functions: which file:// devices are allowed, how a
// saved state's interrupted jobs are requeued and its job journal applied, whose socket a loopback connection
// is, and what a job's message may show.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "printer_app/access/peer_identity.h"
#include "printer_app/access/sign_in_backoff.h"
#include "printer_app/cli/client_message.h"
#include "printer_app/devices/device_policy.h"
#include "printer_app/state/job_history.h"
#include "printer_app/state/job_journal.h"
#include "printer_app/state/job_recovery.h"

namespace qxapp {
namespace {

namespace fs = std::filesystem;

TEST(DevicePolicyTest, FileDevicesOnlyInsideAllowedFoldersWithLinksResolved) {
  const std::string dir = std::string(APP_TEST_DIR) + "/device-policy";
  fs::remove_all(dir);
  fs::create_directories(dir + "/allowed/sub");
  fs::create_directories(dir + "/allowedness");
  fs::create_symlink(dir + "/allowedness", dir + "/allowed/link");
  const std::vector<std::string> allowed = {dir + "/allowed"};
  std::string why;
  for (const std::string& uri :
       {"file://" + dir + "/allowed", "file://" + dir + "/allowed/sub",
        "file://" + dir + "/allowed/new-file.prn", "file://" + dir + "/allowed/sub?ext=bin",
        std::string("socket://192.0.2.1:9100"), std::string("usb://Maker/Model")}) {
    EXPECT_TRUE(DeviceAllowed(uri, allowed, &why)) << uri;
  }
  for (const std::string& uri :
       {"file://" + dir + "/allowedness", "file://" + dir + "/allowed/link",
        "file://" + dir + "/allowed/link/x.prn", "file://" + dir + "/allowed/../allowedness",
        "file://" + dir + "/allowed/missing/../../allowedness", std::string("file:///etc/passwd"),
        std::string("file:relative"), std::string("file://")}) {
    why.clear();
    EXPECT_FALSE(DeviceAllowed(uri, allowed, &why)) << uri;
    EXPECT_NE(why.find("allowed folders (" + dir + "/allowed"), std::string::npos) << why;
  }
  EXPECT_FALSE(DeviceAllowed("file://" + dir + "/allowed", {}, &why));
  // A single allowed file (a character device, say) allows that file only.
  EXPECT_TRUE(DeviceAllowed("file:///dev/null", {"/dev/null"}, &why));
  EXPECT_FALSE(DeviceAllowed("file:///dev/zero", {"/dev/null"}, &why));
}

TEST(JobRecoveryTest, InterruptedJobsBecomePendingAndNextIdsFollowEverySavedJob) {
  std::string state =
      "DefaultPrinterId 1\n"
      "<Printer name=\"label\" id=\"1\" did=\"\" uri=\"file:///out\" driver=\"qxvn\">\n"
      "NextJobId 3\n"
      "Job id=\"2\" name=\"a \\\" state=\\\"5\\\"\" username=\"root\" format=\"image/png\" "
      "filename=\"/spool/p1j2.png\" state=\"5\" created=\"100\" processing=\"101\"\n"
      "Job id=\"4\" name=\"b\" username=\"root\" format=\"image/png\" filename=\"/spool/p1j4.png\" "
      "state=\"3\" "
      "created=\"102\"\n"
      "</Printer>\n"
      "<Printer name=\"other\" id=\"2\" did=\"\" uri=\"socket://h\" driver=\"qxvn\">\n"
      "NextJobId 9\n"
      "Job id=\"7\" name=\"c\" username=\"u\" format=\"image/png\" state=\"9\" completed=\"5\"\n"
      "</Printer>\n";
  const std::vector<SavedJobId> interrupted = RequeueInterruptedJobs(&state);
  ASSERT_EQ(interrupted.size(), 1u);
  EXPECT_EQ(interrupted[0], SavedJobId(1, 2));
  // The job's name (which quotes a state of its own) is kept as it was; its state is pending.
  EXPECT_NE(state.find("Job id=\"2\" name=\"a \\\" state=\\\"5\\\"\" username=\"root\" format=\"image/png\" "
                       "filename=\"/spool/p1j2.png\" state=\"3\" created=\"100\"\n"),
            std::string::npos)
      << state;
  EXPECT_NE(state.find("NextJobId 5\n"), std::string::npos) << state;
  EXPECT_NE(state.find("NextJobId 9\n"), std::string::npos) << state;
  // Nothing to change: the text stays as it is.
  std::string clean = state;
  EXPECT_TRUE(RequeueInterruptedJobs(&clean).empty());
  EXPECT_EQ(clean, state);
}

sockaddr_storage Address(const char* ip, int port) {
  sockaddr_storage storage{};
  if (std::string(ip).find(':') == std::string::npos) {
    auto& in = reinterpret_cast<sockaddr_in&>(storage);
    in.sin_family = AF_INET;
    in.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, ip, &in.sin_addr);
  } else {
    auto& in6 = reinterpret_cast<sockaddr_in6&>(storage);
    in6.sin6_family = AF_INET6;
    in6.sin6_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET6, ip, &in6.sin6_addr);
  }
  return storage;
}

TEST(JobRecoveryTest, TheJournalBringsBackJobsTheStateHasNotSavedAndNeverTakesOneBack) {
  const std::string state =
      "<Printer name=\"label\" id=\"1\" did=\"\" uri=\"file:///out\" driver=\"qxvn\">\n"
      "NextJobId 3\n"
      "Job id=\"2\" name=\"done\" username=\"u\" format=\"image/png\" state=\"9\" completed=\"50\"\n"
      "</Printer>\n"
      "<Printer name=\"other\" id=\"2\" did=\"\" uri=\"socket://h\" driver=\"qxvn\">\n"
      "NextJobId 1\n"
      "</Printer>\n";
  auto job = [](int printer, int id, int jobState, const std::string& rest = "") {
    return "Job printer=\"" + std::to_string(printer) + "\" id=\"" + std::to_string(id) +
           "\" name=\"n\" username=\"u\" format=\"image/png\" state=\"" + std::to_string(jobState) + "\"" +
           rest + "\n";
  };
  const std::string journal =
      // Set aside by a save that saw it done: a stale line never makes it pending again.
      job(1, 2, 3, " filename=\"/spool/p1j2.png\"") +
      // Accepted, then printing when the app stopped: its last line counts.
      job(1, 3, 3, " filename=\"/spool/p1j3.png\"") +
      job(1, 3, 5, " filename=\"/spool/p1j3.png\" processing=\"60\"") +
      // Accepted on the second printer; cancelled, then an older line of it after (the order
      // the set-aside and the new journal are read in).
      job(2, 1, 3, " filename=\"/spool/p2j1.png\"") + job(2, 1, 7, " completed=\"61\"") + job(2, 1, 3) +
      // A printer the state no longer has, and a line cut short by the crash.
      job(9, 1, 3) + "Job printer=\"1\" id=\"4\" name=\"cut";
  std::string text = state;
  ASSERT_TRUE(ApplyJobJournal(journal, &text));
  EXPECT_NE(text.find("Job id=\"2\" name=\"done\" username=\"u\" format=\"image/png\" state=\"9\""),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Job id=\"3\" name=\"n\" username=\"u\" format=\"image/png\" state=\"5\" "
                      "filename=\"/spool/p1j3.png\" processing=\"60\"\n</Printer>\n<Printer name=\"other\""),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Job id=\"1\" name=\"n\" username=\"u\" format=\"image/png\" state=\"7\" "
                      "completed=\"61\"\n</Printer>\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("printer=\""), std::string::npos) << text;
  EXPECT_EQ(text.find("id=\"4\""), std::string::npos) << text;
  // The job printing when the app stopped prints again; ids go on after every job.
  const std::vector<SavedJobId> interrupted = RequeueInterruptedJobs(&text);
  EXPECT_EQ(interrupted, std::vector<SavedJobId>{SavedJobId(1, 3)});
  EXPECT_NE(text.find("NextJobId 4\n"), std::string::npos) << text;
  EXPECT_NE(text.find("NextJobId 2\n"), std::string::npos) << text;
  // Applied again (a crash before the journal was emptied), nothing changes.
  const std::string once = text;
  ApplyJobJournal(journal, &text);
  RequeueInterruptedJobs(&text);
  EXPECT_EQ(text, once);
  std::string unchanged = state;
  EXPECT_FALSE(ApplyJobJournal("", &unchanged));
  EXPECT_EQ(unchanged, state);
}

// The jobs that leave a printer's history in memory: those beyond the most recently ended,
// once they ended over a minute ago, whatever order PAPPL lists them in.
TEST(JobHistoryTest, TheMostRecentlyEndedStayAndOthersLeaveAfterTheirGrace) {
  const time_t now = 10000;
  const time_t old = now - kEndedJobGraceSeconds - 1;
  struct Case {
    const char* what;
    std::vector<EndedJob> ended;
    int limit;
    std::vector<size_t> leaving;
  } cases[] = {
      {"within the limit", {{3, old}, {2, old}, {1, old}}, 3, {}},
      {"no limit", {{3, old}, {2, old}, {1, old}}, 0, {}},
      // PAPPL lists the newest job first; the oldest leave.
      {"ids in PAPPL's order",
       {{5, old}, {4, old - 1}, {3, old - 2}, {2, old - 3}, {1, old - 4}},
       2,
       {2, 3, 4}},
      // A job released late ends after those created after it: the end counts, then the id.
      {"ended out of id order", {{3, old}, {2, old - 5}, {1, old + 9}}, 1, {0, 1}},
      {"same end, the lower id leaves", {{2, old}, {1, old}}, 1, {1}},
      // Beyond the limit but ended within the minute: stays for now.
      {"grace", {{4, now}, {3, now - 30}, {2, old}, {1, old}}, 1, {2, 3}},
      {"at the grace's edge", {{2, now}, {1, now - kEndedJobGraceSeconds}}, 1, {}},
      // PAPPL never set its end: it never leaves, as PAPPL has it.
      {"no end time", {{2, now}, {1, 0}}, 1, {}},
  };
  for (const Case& c : cases) {
    std::vector<size_t> leaving = JobsBeyondHistory(c.ended, c.limit, now);
    std::sort(leaving.begin(), leaving.end());
    EXPECT_EQ(leaving, c.leaving) << c.what;
  }
}

TEST(PeerIdentityTest, TheClientSocketOfAConnectionNamesItsOwner) {
  // The server's accepted socket (8631 -> 40000, root) and the client's (40000 -> 8631, 65534).
  const std::string tcp =
      "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
      "   0: 0100007F:21B7 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 1\n"
      "   1: 0100007F:21B7 0100007F:9C40 01 00000000:00000000 00:00000000 00000000     0        0 2\n"
      "   2: 0100007F:9C40 0100007F:21B7 01 00000000:00000000 00:00000000 00000000 65534        0 3\n";
  EXPECT_EQ(SocketOwnerIn(tcp, Address("127.0.0.1", 40000), Address("127.0.0.1", 8631)), 65534u);
  EXPECT_FALSE(SocketOwnerIn(tcp, Address("127.0.0.1", 40001), Address("127.0.0.1", 8631)));
  // Sockets their owners closed (FIN_WAIT2, TIME_WAIT) are listed as root's, with no inode: no one's.
  const std::string closed =
      "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
      "   0: 0100007F:9C41 0100007F:21B7 05 00000000:00000000 00:00000000 00000000     0        0 0\n"
      "   1: 0100007F:9C42 0100007F:21B7 06 00000000:00000000 00:00000000 00000000     0        0 0\n";
  EXPECT_FALSE(SocketOwnerIn(closed, Address("127.0.0.1", 40001), Address("127.0.0.1", 8631)));
  EXPECT_FALSE(SocketOwnerIn(closed, Address("127.0.0.1", 40002), Address("127.0.0.1", 8631)));
  const std::string tcp6 =
      "  sl  local_address                         remote_address                        st tx_queue "
      "rx_queue tr "
      "tm->when retrnsmt   uid  timeout inode\n"
      "   0: 00000000000000000000000001000000:9C40 00000000000000000000000001000000:21B7 01 "
      "00000000:00000000 "
      "00:00000000 00000000  1000        0 4\n";
  EXPECT_EQ(SocketOwnerIn(tcp6, Address("::1", 40000), Address("::1", 8631)), 1000u);
}

// A listening loopback socket and a connection to it from a process of `uid` (this one's when
// it is ours): the accepted end's peer, as the app would see it. With `closeFirst` the client
// sends a request and closes its socket before the app looks.
std::optional<uid_t> LoopbackPeer(const char* ip, uid_t uid, bool closeFirst = false) {
  const sockaddr_storage any = Address(ip, 0);
  const int family = any.ss_family;
  const socklen_t size = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
  int listener = socket(family, SOCK_STREAM, 0);
  sockaddr_storage bound = any;
  socklen_t boundSize = size;
  if (listener < 0 || bind(listener, reinterpret_cast<const sockaddr*>(&any), size) != 0 ||
      listen(listener, 1) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &boundSize) != 0)
    return std::nullopt;
  const pid_t child = fork();
  if (child == 0) {
    if (uid != geteuid() && setuid(uid) != 0) _exit(1);
    int client = socket(family, SOCK_STREAM, 0);
    if (connect(client, reinterpret_cast<const sockaddr*>(&bound), size) != 0) _exit(1);
    if (closeFirst) {
      (void)!write(client, "POST / HTTP/1.1\r\n\r\n", 20);
      close(client);
      _exit(0);
    }
    char byte;
    (void)!read(client, &byte, 1);  // held open until the parent has looked
    _exit(0);
  }
  if (closeFirst) waitpid(child, nullptr, 0);
  int accepted = accept(listener, nullptr, nullptr);
  std::optional<uid_t> peer = PeerUidOfSocket(accepted);
  close(accepted);
  close(listener);
  waitpid(child, nullptr, 0);
  return peer;
}

TEST(PeerIdentityTest, RealConnectionsNameTheirAccount) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  EXPECT_EQ(PeerUidOfSocket(pair[0]), getuid());
  close(pair[0]);
  close(pair[1]);
  EXPECT_EQ(LoopbackPeer("127.0.0.1", geteuid()), geteuid());
  EXPECT_EQ(LoopbackPeer("::1", geteuid()), geteuid());
  EXPECT_EQ(LoopbackPeer("127.0.0.1", geteuid(), true), std::nullopt) << "a closed client socket is no one's";
  EXPECT_EQ(LoopbackPeer("::1", geteuid(), true), std::nullopt) << "a closed client socket is no one's";
  if (geteuid() == 0) {
    EXPECT_EQ(LoopbackPeer("127.0.0.1", 65534), 65534u) << "another account (nobody)";
    EXPECT_EQ(LoopbackPeer("127.0.0.1", 65534, true), std::nullopt) << "not root, though listed as root's";
  }
}

TEST(SignInBackoffTest, FailuresSlowDownQueueUpAndClearOnSuccess) {
  using std::chrono::seconds;
  for (const auto& [failures, delay] : {std::pair{4, 0}, std::pair{5, 1}, std::pair{6, 2}, std::pair{7, 4},
                                        std::pair{11, 60}, std::pair{40, 60}})
    EXPECT_EQ(SignInBackoff::DelayAfter(failures), seconds(delay)) << failures;
  SignInBackoff backoff;
  const auto t = SignInBackoff::Clock::time_point() + std::chrono::hours(1);
  for (int i = 1; i <= 4; ++i) {
    EXPECT_EQ(backoff.Begin("127.0.0.1", "web-admin", t).wait, seconds(0));
    EXPECT_EQ(backoff.Failed("127.0.0.1", "web-admin", t).nextWait, seconds(0));
  }
  backoff.Begin("127.0.0.1", "web-admin", t);
  const SignInBackoff::Failure fifth = backoff.Failed("127.0.0.1", "web-admin", t);
  EXPECT_EQ(fifth.count, 5);
  EXPECT_EQ(fifth.nextWait, seconds(1));
  // Attempts made at once wait their turns, from that address or for that user from another.
  EXPECT_EQ(backoff.Begin("127.0.0.1", "web-admin", t).wait, seconds(1));
  EXPECT_EQ(backoff.Begin("127.0.0.1", "web-admin", t).wait, seconds(2));
  EXPECT_EQ(backoff.Begin("::1", "web-admin", t).wait, seconds(3));
  EXPECT_EQ(backoff.Begin("::1", "someone", t).wait, seconds(0)) << "another address and user";
  // More than a minute of queue: refused unchecked.
  for (int i = 0; i < 60; ++i) backoff.Begin("127.0.0.1", "web-admin", t);
  EXPECT_TRUE(backoff.Begin("127.0.0.1", "web-admin", t).refused);
  backoff.Succeeded("127.0.0.1", "web-admin");
  EXPECT_EQ(backoff.Begin("127.0.0.1", "web-admin", t).wait, seconds(0));
}

TEST(ClientMessageTest, PathsAreShortenedToTheirLastPart) {
  EXPECT_EQ(WithoutServerPaths("Unable to create '/srv/labels/7-a.prn': Is a directory"),
            "Unable to create '7-a.prn': Is a directory");
  EXPECT_EQ(WithoutServerPaths("Unable to read the document: /var/spool/app/p1j2.png: not a PNG file."),
            "Unable to read the document: p1j2.png: not a PNG file.");
  EXPECT_EQ(WithoutServerPaths("folder (/srv/out/) full; 1/2 done"), "folder ((folder)) full; 1/2 done");
}

}  // namespace
}  // namespace qxapp
