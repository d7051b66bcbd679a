// Hostile clients against the printer application: requests built byte by byte (nesting,
// counts, control characters, sizes a client would never send), values meant to rewrite the
// saved state, links planted in the output folder, connections held open, and other users'
// jobs looked at.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>
#include <vector>

#include "printer_app/access/ipp_scan.h"
#include "printer_app/state/job_journal.h"
#include "printer_app/state/state_line.h"
#include "tests/printer_app/app_server.h"

namespace qxtest {
namespace {

namespace fs = std::filesystem;

constexpr uint16_t kPrintJob = 0x0002, kCreateJob = 0x0005, kGetJobAttributes = 0x0009;
constexpr int kOk = 0x0000, kBadRequest = 0x0400, kTooLarge = 0x0408;

// An IPP request, byte by byte.
class Ipp {
 public:
  explicit Ipp(uint16_t operation) {
    m_bytes = {2, 0, static_cast<char>(operation >> 8), static_cast<char>(operation), 0, 0, 0, 1};
    Group(0x01).Add(0x47, "attributes-charset", "utf-8").Add(0x48, "attributes-natural-language", "en");
  }
  Ipp& Group(uint8_t tag) {
    m_bytes += static_cast<char>(tag);
    return *this;
  }
  Ipp& Add(uint8_t tag, const std::string& name, const std::string& value) {
    m_bytes += static_cast<char>(tag);
    Counted(name);
    Counted(value);
    return *this;
  }
  Ipp& Nested(const std::string& name, int depth) {
    Add(0x34, name, "");
    for (int i = 0; i < depth; ++i) Add(0x4a, "", name).Add(0x34, "", "");
    for (int i = 0; i <= depth; ++i) Add(0x37, "", "");
    return *this;
  }
  std::string Done(const std::string& document = "") const { return m_bytes + '\x03' + document; }

 private:
  void Counted(const std::string& text) {
    m_bytes += static_cast<char>(text.size() >> 8);
    m_bytes += static_cast<char>(text.size());
    m_bytes += text;
  }
  std::string m_bytes;
};

Ipp PrinterRequest(uint16_t operation, const AppServer& app, const std::string& jobName) {
  Ipp ipp(operation);
  ipp.Add(0x45, "printer-uri", app.Uri()).Add(0x42, "requesting-user-name", "test");
  if (!jobName.empty()) ipp.Add(0x42, "job-name", jobName);
  return ipp;
}

int Connect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// The server's answer: until its Content-Length is in, it closes, or `seconds` pass without a byte.
std::string ReadAll(int fd, int seconds) {
  std::string got;
  char buffer[65536];
  pollfd wait{fd, POLLIN, 0};
  while (poll(&wait, 1, seconds * 1000) > 0) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    got.append(buffer, static_cast<size_t>(n));
    const size_t body = got.find("\r\n\r\n");
    std::smatch length;
    if (body != std::string::npos &&
        std::regex_search(got.cbegin(), got.cbegin() + static_cast<long>(body), length,
                          std::regex("Content-Length: ([0-9]+)")) &&
        got.size() >= body + 4 + std::stoul(length[1].str()))
      break;
  }
  return got;
}

enum class Framing { kLength, kChunked, kClaimed2GiB, kFormLength, kFormChunked };

// POSTs the request; the answer's IPP status, or -1 without one. A form goes to the printer's web
// page: its HTTP status then.
int Post(const AppServer& app, const std::string& body, Framing framing = Framing::kLength) {
  const int fd = Connect(app.Port());
  if (fd < 0) return -1;
  const bool form = framing == Framing::kFormLength || framing == Framing::kFormChunked;
  std::string head =
      form ? "POST /label HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
             "application/x-www-form-urlencoded\r\n"
           : "POST /ipp/print/label HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/ipp\r\n";
  std::string data = body;
  if (framing == Framing::kChunked || framing == Framing::kFormChunked) {
    head += "Transfer-Encoding: chunked\r\n";
    data.clear();
    for (size_t at = 0; at < body.size(); at += 65536) {
      const std::string piece = body.substr(at, 65536);
      char size[32];
      std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
      data += size + piece + "\r\n";
    }
    data += "0\r\n\r\n";
  } else {
    head += "Content-Length: " +
            std::to_string(framing == Framing::kClaimed2GiB ? (size_t{2} << 30) : body.size()) + "\r\n";
  }
  const std::string request = head + "\r\n" + data;
  for (size_t sent = 0; sent < request.size();) {
    const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  const std::string answer = ReadAll(fd, 20);
  close(fd);
  if (form) return answer.compare(0, 9, "HTTP/1.1 ") == 0 ? std::atoi(answer.c_str() + 9) : -1;
  const size_t ipp = answer.find("\r\n\r\n");
  if (ipp == std::string::npos || answer.size() < ipp + 8) return -1;
  return static_cast<unsigned char>(answer[ipp + 6]) << 8 | static_cast<unsigned char>(answer[ipp + 7]);
}

std::string Png() { return ReadFile(QXVN_EXAMPLES "/shipping-label.png"); }

std::string JobAttribute(const AppServer& app, int id, const std::string& name,
                         const std::string& printer = "label") {
  return RunIpptool(app.Uri(printer), "  OPERATION Get-Job-Attributes\n" + std::string(kRequestHead) +
                                          "  ATTR integer job-id " + std::to_string(id) +
                                          "\n  STATUS successful-ok\n")
      .Value(name);
}

bool AsAnotherUserPossible() { return getuid() == 0 && Capture("runuser -u nobody -- true").empty(); }

// What the saved state's lines say, each byte value and size included.
TEST(AppHostileTest, StateLinesKeepEveryValueOnItsLine) {
  std::string everyByte;
  for (int c = 0; c < 256; ++c) everyByte += static_cast<char>(c);
  std::string large(64 * 1024, 'x');
  for (size_t i = 0; i < large.size(); i += 97) large[i] = static_cast<char>(i % 256);
  for (const std::string& value : {everyByte, std::string("a\nPassword x~y"), std::string("\0\r\n\"\\", 5),
                                   std::string("\\012 not a control"), large}) {
    qxapp::StateLine line;
    line.directive = "Job";
    line.pairs = {{"id", "7"}, {"name", value}, {"state", "9"}};
    const std::string text = qxapp::FormatStateLine(line);
    EXPECT_EQ(text.find_first_of(std::string("\n\r\0", 3)), std::string::npos);
    const qxapp::StateLine back = qxapp::ParseStateLine(text);
    ASSERT_TRUE(back.parsed);
    EXPECT_EQ(back.pairs, line.pairs);
  }
  // PAPPL's own escaping reads as before.
  EXPECT_EQ(*qxapp::ParseStateLine(R"(Job name="say \"hi\" \\ 1")").Find("name"), R"(say "hi" \ 1)");

  // A long name is cut to fit PAPPL's line, at a character's boundary, the rest kept.
  qxapp::StateLine job;
  job.directive = "Job";
  std::string title;
  for (int i = 0; i < 1500; ++i) title += "\xc3\xa9";  // é
  job.pairs = {{"id", "3"}, {"name", title}, {"username", std::string(300, 'u')}, {"state", "9"}};
  ASSERT_TRUE(qxapp::FitStateLine(&job, {"name", "username"}));
  EXPECT_LE(qxapp::FormatStateLine(job).size(), qxapp::kStateLineBytes);
  const std::string& cut = *job.Find("name");
  EXPECT_GT(cut.size(), 1000u);
  EXPECT_EQ(cut.size() % 2, 0u);
  EXPECT_EQ(title.compare(0, cut.size(), cut), 0);
  EXPECT_EQ(*job.Find("username"), std::string(300, 'u'));
  EXPECT_EQ(*job.Find("state"), "9");

  // PAPPL's saved text: its long lines fit, the others stay as they were.
  const std::string kept = "<Printer id=\"1\" name=\"label\">\nNextJobId 4\n";
  std::string saved = kept + "Location " + std::string(3000, 'L') + "\nJob id=\"3\" name=\"" +
                      std::string(4000, 'T') + "\" state=\"9\"\n</Printer>\n";
  ASSERT_TRUE(qxapp::FitSavedLines(&saved));
  EXPECT_EQ(saved.compare(0, kept.size(), kept), 0);
  for (const std::string& line : qxapp::SplitLines(saved)) EXPECT_LE(line.size(), qxapp::kStateLineBytes);
  EXPECT_EQ(*qxapp::ParseStateLine(qxapp::SplitLines(saved)[3]).Find("state"), "9");
  EXPECT_EQ(qxapp::SplitLines(saved).size(), 5u);
}

TEST(AppHostileTest, RequestScanStopsAtTheFirstBrokenBound) {
  struct Case {
    const char* what;
    std::string bytes;
    qxapp::IppVerdict verdict;
    const char* why;
  };
  Ipp many(kGetJobAttributes);
  for (int i = 0; i < 1001; ++i) many.Add(0x21, "x-" + std::to_string(i), std::string(4, '\0'));
  Ipp values(kGetJobAttributes);
  values.Add(0x44, "requested-attributes", "a");
  for (int i = 0; i < 10000; ++i) values.Add(0x44, "", "a");
  const std::string good = Ipp(kPrintJob).Group(0x02).Nested("media-col", 31).Done("DOCUMENT");
  const Case cases[] = {
      {"nested 32 deep", good, qxapp::IppVerdict::kComplete, ""},
      {"nested 10000 deep", Ipp(kPrintJob).Nested("media-col", 10000).Done(), qxapp::IppVerdict::kTooLarge,
       "media-col: collections nested more than 32 deep"},
      {"too many attributes", many.Done(), qxapp::IppVerdict::kTooLarge, "more than 1000 attributes"},
      {"too many values", values.Done(), qxapp::IppVerdict::kTooLarge, "more than 10000 values"},
      {"newline in a name", Ipp(kPrintJob).Add(0x42, "job-name", "a\nPassword x").Done(),
       qxapp::IppVerdict::kMalformed, "job-name: control characters"},
      {"NUL in a text with language",
       Ipp(kPrintJob).Add(0x35, "job-message", std::string("\0\2en\0\3a\0b", 9)).Done(),
       qxapp::IppVerdict::kMalformed, "job-message: control characters"},
      {"cut short", good.substr(0, 60), qxapp::IppVerdict::kEnded, "ended"},
      {"unbalanced collection", Ipp(kPrintJob).Add(0x37, "x", "").Done(), qxapp::IppVerdict::kMalformed,
       "collection end"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    size_t at = 0;
    std::string read;
    const qxapp::IppScanResult result = qxapp::ScanIppMessage(
        [&](size_t n, std::string* out) {
          if (at + n > c.bytes.size()) return false;
          out->append(c.bytes, at, n);
          at += n;
          return true;
        },
        qxapp::IppBounds(), &read);
    EXPECT_EQ(result.verdict, c.verdict);
    EXPECT_NE(result.why.find(c.why), std::string::npos) << result.why;
    if (c.verdict == qxapp::IppVerdict::kComplete) {
      EXPECT_EQ(read + "DOCUMENT", c.bytes);  // stops at the document
    }
    if (c.verdict == qxapp::IppVerdict::kTooLarge) {
      EXPECT_LT(read.size(), size_t{200000});
    }
  }
}

// Each request once; the app answers each with a refusal, stays up, and prints the next job.
TEST(AppHostileTest, HostileRequestsAreRefusedAndTheAppPrintsOn) {
  AppServer app(FreshTestFolder(), {}, {"--max-document-mib", "1", "--request-timeout", "2"});
  ASSERT_TRUE(app.Start());
  const std::string big(3 << 20, 'x');
  struct Case {
    const char* what;
    std::string body;
    Framing framing;
    int status;
  };
  const Case cases[] = {
      {"media-col 10,000 deep",
       PrinterRequest(kPrintJob, app, "deep").Group(0x02).Nested("media-col", 10000).Done(Png()),
       Framing::kLength, kTooLarge},
      {"a name that writes a line", PrinterRequest(kPrintJob, app, "x\nPassword 1~2").Done(Png()),
       Framing::kLength, kBadRequest},
      {"a user name with NUL",
       Ipp(kPrintJob)
           .Add(0x45, "printer-uri", app.Uri())
           .Add(0x42, "requesting-user-name", std::string("ro\0ot", 5))
           .Done(Png()),
       Framing::kLength, kBadRequest},
      {"a 2 GiB body claimed", PrinterRequest(kPrintJob, app, "huge").Done(Png()), Framing::kClaimed2GiB,
       kTooLarge},
      {"3 MiB sent with its length", PrinterRequest(kPrintJob, app, "big").Done(big), Framing::kLength,
       kTooLarge},
      {"3 MiB sent in chunks", PrinterRequest(kPrintJob, app, "chunked").Done(big), Framing::kChunked,
       kTooLarge},
      {"a 3 MiB web form", "action=hold-new-jobs&x=" + big, Framing::kFormLength, 413},
      {"a 3 MiB web form in chunks", "action=hold-new-jobs&x=" + big, Framing::kFormChunked, 413},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Post(app, c.body, c.framing), c.status);
  }
  EXPECT_NE(app.Log().find("media-col: collections nested more than 32 deep"), std::string::npos);
  // The chunked document made a job (its size was not known in advance): it ended saying why.
  const std::string message = JobAttribute(app, 1, "job-state-message");
  EXPECT_NE(message.find("larger than 1 MiB"), std::string::npos) << message;

  // A request that stops halfway is dropped after the time-out; the app serves on.
  const int fd = Connect(app.Port());
  const std::string half =
      "POST /ipp/print/label HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/ipp\r\nContent-Length: "
      "9000\r\n\r\n" +
      PrinterRequest(kPrintJob, app, "stalled").Done("P1\n");
  ASSERT_EQ(send(fd, half.data(), half.size(), MSG_NOSIGNAL), static_cast<ssize_t>(half.size()));
  const std::string answer = ReadAll(fd, 15);
  EXPECT_NE(answer.find("200 OK"), std::string::npos);  // the job's refusal, "cut short"
  pollfd closed{fd, POLLIN, 0};
  char byte;
  EXPECT_EQ(poll(&closed, 1, 10000), 1);
  EXPECT_EQ(recv(fd, &byte, 1, MSG_DONTWAIT), 0);
  close(fd);
  EXPECT_NE(JobAttribute(app, 2, "job-state-message").find("cut short"), std::string::npos);

  const int id = PrintJob(app.Uri(), QXVN_EXAMPLES "/shipping-label.png", "image/png", "after");
  ASSERT_GT(id, 0);
  EXPECT_EQ(WaitForJob(app.Uri(), id), "completed");
  EXPECT_EQ(Post(app, PrinterRequest(kPrintJob, app, "raw").Done(Png())), kOk);
}

// A title long enough that PAPPL's loader would split its line: every 2047 bytes would start a
// line. Titles are shifted by every offset of the pattern, so one lines a directive up.
TEST(AppHostileTest, LongTitlesRewriteNothingAndPrintWhole) {
  const std::string folder = FreshTestFolder();
  AppServer app(folder);
  ASSERT_TRUE(app.Start());
  const std::string pattern = "Location INJECTED-";
  for (size_t shift = 0; shift < pattern.size(); ++shift) {
    std::string title = std::string(shift, 'a');
    while (title.size() < 4000) title += pattern;
    Ipp create = PrinterRequest(kCreateJob, app, title);
    create.Group(0x02).Add(0x44, "job-hold-until", "indefinite");
    EXPECT_EQ(Post(app, create.Done()), kOk);
  }
  const std::string title(4000, 'T');
  EXPECT_EQ(Post(app, PrinterRequest(kPrintJob, app, title).Done(Png())), kOk);
  const int printed = static_cast<int>(pattern.size()) + 1;
  EXPECT_EQ(WaitForJob(app.Uri(), printed), "completed");
  EXPECT_EQ(JobAttribute(app, printed, "job-name"), title);
  bool named = false;
  for (const auto& entry : fs::directory_iterator(app.OutputDir())) {
    const std::string name = entry.path().filename().string();
    EXPECT_LE(name.size(), 200u);
    named = named || name.compare(0, 10, std::to_string(printed) + "-TTTTTTT") == 0;
  }
  EXPECT_TRUE(named);

  // Every line PAPPL's loader will read fits its line; after the restart nothing was injected.
  app.Stop();
  for (const char* file : {"/state.conf", "/state.conf.jobs"}) {
    std::ifstream state(folder + file);
    for (std::string line; std::getline(state, line);) {
      EXPECT_LE(line.size(), qxapp::kStateLineBytes) << file << ": " << line.substr(0, 40);
      if (line.find("INJECTED") != std::string::npos) {
        EXPECT_EQ(line.compare(0, 4, "Job "), 0) << line.substr(0, 60);
      }
    }
  }
  ASSERT_TRUE(app.Start());
  const IppResult printer = RunIpptool(app.Uri(), "  OPERATION Get-Printer-Attributes\n" +
                                                      std::string(kRequestHead) + "  STATUS successful-ok\n");
  EXPECT_EQ(printer.output.find("INJECTED"), std::string::npos);
  EXPECT_EQ(JobAttribute(app, printed, "job-state"), "completed");
}

// In a folder device and at a device's one file, in the allowed folder.
TEST(AppHostileTest, OutputNeverFollowsAPlantedLink) {
  const std::string state = FreshTestFolder();
  fs::create_directories(state + "/output");
  AppServer app(state,
                {"label=file://" + state + "/output", "single=file://" + state + "/output/single.prn"});
  ASSERT_TRUE(app.Start());
  const std::string victim = app.OutputDir() + "/victim";
  std::ofstream(victim) << "root's file";
  fs::permissions(victim, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink(victim, app.OutputFile(1, "planted"));
  fs::create_symlink(victim, app.OutputDir() + "/single.prn");
  std::ofstream(app.OutputFile(2, "other")) << "a file of the same name";
  chown(app.OutputFile(2, "other").c_str(), 65534, 65534);

  for (const std::string printer : {"label", "single"}) {
    SCOPED_TRACE(printer);
    const int linked =
        PrintJob(app.Uri(printer), QXVN_EXAMPLES "/shipping-label.png", "image/png", "planted");
    EXPECT_EQ(WaitForJob(app.Uri(printer), linked), "aborted");
    EXPECT_NE(JobAttribute(app, linked, "job-state-message", printer).find("is a link"), std::string::npos);
    EXPECT_EQ(ReadFile(victim), "root's file");
  }
  fs::remove(app.OutputDir() + "/single.prn");
  const int single = PrintJob(app.Uri("single"), QXVN_EXAMPLES "/shipping-label.png", "image/png", "single");
  EXPECT_EQ(WaitForJob(app.Uri("single"), single), "completed");
  EXPECT_GT(fs::file_size(app.OutputDir() + "/single.prn"), 0u);
  if (getuid() == 0) {
    const int other = PrintJob(app.Uri(), QXVN_EXAMPLES "/shipping-label.png", "image/png", "other");
    EXPECT_EQ(WaitForJob(app.Uri(), other), "aborted");
    EXPECT_EQ(ReadFile(app.OutputFile(2, "other")), "a file of the same name");
  }
  const int next = PrintJob(app.Uri(), QXVN_EXAMPLES "/shipping-label.png", "image/png", "next");
  EXPECT_EQ(WaitForJob(app.Uri(), next), "completed");
}

TEST(AppHostileTest, AbortedJobsSayWhyAndTheKeyIsPrivate) {
  AppServer app(FreshTestFolder());
  ASSERT_TRUE(app.Start());
  const std::string raster = app.StateDir() + "/bad.pwg";
  std::ofstream(raster) << "RaS2" << std::string(1796, '\0') << std::string(500, '\xff');
  const int id = PrintJob(app.Uri(), raster, "image/pwg-raster", "bad-raster");
  EXPECT_EQ(WaitForJob(app.Uri(), id), "aborted");
  const std::string message = JobAttribute(app, id, "job-state-message");
  EXPECT_NE(message, "Job aborted.");
  EXPECT_NE(message.find("raster"), std::string::npos) << message;

  // The key is there, the app's alone, before the first TLS connection begins, and stays so.
  const auto keyModes = [&] {
    std::vector<fs::perms> modes;
    for (const auto& entry : fs::directory_iterator(app.StateDir() + "/ssl"))
      if (entry.path().extension() == ".key")
        modes.push_back(fs::status(entry).permissions() & fs::perms::all);
    return modes;
  };
  const std::vector<fs::perms> privateKey = {fs::perms::owner_read | fs::perms::owner_write};
  EXPECT_EQ(keyModes(), privateKey);
  Capture("curl -sk --max-time 20 -o /dev/null https://127.0.0.1:" + std::to_string(app.Port()) + "/");
  EXPECT_EQ(keyModes(), privateKey);
}

// Another local account (nobody): it does not see root's job names or user names, and cannot
// hold more connections than the limit, while root still gets in.
TEST(AppHostileTest, AnotherUserSeesNoNamesAndHoldsFewConnections) {
  if (!AsAnotherUserPossible()) GTEST_SKIP() << "needs root and runuser, to act as the account nobody";
  AppServer app(FreshTestFolder(), {}, {"--max-client-connections", "3"});
  ASSERT_TRUE(app.Start());
  const int id = PrintJob(app.Uri(), QXVN_EXAMPLES "/shipping-label.png", "image/png", "Ann-Addressee");
  ASSERT_EQ(WaitForJob(app.Uri(), id), "completed");
  const std::string query = "  OPERATION Get-Jobs\n" + std::string(kRequestHead) +
                            "  ATTR keyword which-jobs completed\n"
                            "  ATTR keyword requested-attributes job-id,job-name,job-originating-user-name\n"
                            "  STATUS successful-ok\n";
  const IppResult theirs = RunIpptool(app.Uri(), query, {}, "nobody");
  EXPECT_EQ(theirs.exitCode, 0) << theirs.output;
  EXPECT_EQ(theirs.Value("job-id"), std::to_string(id));
  EXPECT_EQ(theirs.output.find("Ann-Addressee"), std::string::npos);
  EXPECT_EQ(theirs.Value("job-originating-user-name"), "");
  EXPECT_EQ(RunIpptool(app.Uri(), query).Value("job-name"), "Ann-Addressee");
  const std::string page = Capture("runuser -u nobody -- curl -s --max-time 20 " + app.WebUrl("/label"));
  EXPECT_EQ(page.find("Ann-Addressee"), std::string::npos);
  EXPECT_NE(page.find("(hidden)"), std::string::npos);
  EXPECT_NE(Capture("curl -s --max-time 20 " + app.WebUrl("/label")).find("Ann-Addressee"),
            std::string::npos);

  // Six idle connections as nobody: three are held, the rest turned away at once.
  const std::string held = Capture(
      "runuser -u nobody -- python3 -c \"import socket,time\n"
      "s=[socket.create_connection(('127.0.0.1'," +
      std::to_string(app.Port()) +
      ")) for i in range(6)]\n"
      "time.sleep(1)\nfor c in s: c.setblocking(False)\nn=0\n"
      "for c in s:\n  try:\n    n+=1 if c.recv(100).startswith(b'HTTP/1.1 503') else 0\n  except "
      "BlockingIOError: pass\n"
      "print('refused', n)\ntime.sleep(2)\"&\nsleep 1.5; echo root-in; " IPPTOOL_PATH " -q " +
      app.Uri() + " get-printer-attributes.test && echo root-served; wait");
  EXPECT_NE(held.find("refused 3"), std::string::npos) << held;
  EXPECT_NE(held.find("root-served"), std::string::npos) << held;
}

}  // namespace
}  // namespace qxtest
