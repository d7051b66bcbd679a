// ipp_bench_client URI FILE FORMAT OUTPUT-DIR SERVER-PID NAME JOBS CLIENTS [PAUSE-MS]
//
// Print-Job of FILE, JOBS times from each of CLIENTS threads, every thread over one kept-alive
// IPP connection. A job counts as done when its file:// printer output, OUTPUT-DIR/ID-JOBNAME.prn
// (or JOBNAME.prn, as other servers name it), reaches the size of a first, warm-up job's. Prints jobs per
// second, the latency from submit to done (median and 90th percentile), the server's processor time per
// job (from /proc/SERVER-PID/stat, with its children, reaped or not) and the median latency until the
// output has its first byte, on one line headed NAME. With
// PAUSE-MS, each client waits that long after each job, so that the next finds the server idle
// (its spare PDF renderer started), as a label printed now and then does.
#include <cups/cups.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Target {
  std::string uri, file, format, outputDir;
  char host[256] = {}, resource[1024] = {};
  int port = 0;
};

// User and system time of a process and of the children it has waited for (its PDF renderers),
// in seconds.
double OwnCpu(const std::string& pid) {
  std::ifstream stat("/proc/" + pid + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  if (text.rfind(')') == std::string::npos) return 0;
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  double ticks = 0;
  for (int i = 3; i <= 17 && fields >> field; ++i)
    if (i >= 14) ticks += std::stod(field);
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The same with the children it has not waited for yet (the spare PDF renderer, which forks one
// for each document, and the renderers at work).
double ProcessCpu(const std::string& pid) {
  double seconds = OwnCpu(pid);
  std::ifstream children("/proc/" + pid + "/task/" + pid + "/children");
  for (std::string child; children >> child;) seconds += OwnCpu(child);
  return seconds;
}

long SizeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

// The size of job `id`'s output so far; -1 while there is none.
long OutputSize(const std::string& folder, int id, const std::string& name) {
  const long size = SizeOf(folder + "/" + std::to_string(id) + "-" + name + ".prn");
  return size >= 0 ? size : SizeOf(folder + "/" + name + ".prn");
}

class Client {
 public:
  Client(const Target& target, pid_t server) : m_target(target), m_server(server) {
    m_http =
        httpConnect2(target.host, target.port, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 30000, nullptr);
    if (!m_http) {
      std::fprintf(stderr, "ipp_bench_client: cannot connect to %s\n", target.uri.c_str());
      std::exit(1);
    }
    // A server that hangs fails the run instead of holding it.
    httpSetTimeout(
        m_http, 10.0, [](http_t*, void*) { return 0; }, nullptr);
  }
  ~Client() { httpClose(m_http); }

  // The job's id.
  int Submit(const std::string& name) {
    ipp_t* request = ippNewRequest(IPP_OP_PRINT_JOB);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, m_target.uri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, "bench");
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, name.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                 m_target.format.c_str());
    ipp_t* response = cupsDoFileRequest(m_http, request, m_target.resource, m_target.file.c_str());
    if (!response || ippGetStatusCode(response) > IPP_STATUS_OK_CONFLICTING) {
      std::fprintf(stderr, "ipp_bench_client: Print-Job %s failed: %s\n", name.c_str(),
                   cupsLastErrorString());
      std::exit(1);
    }
    const int id = ippGetInteger(ippFindAttribute(response, "job-id", IPP_TAG_INTEGER), 0);
    ippDelete(response);
    return id;
  }

  struct Latency {
    double firstByte = 0;  // seconds from submit until the output has a byte
    double complete = 0;   // until it is complete
  };
  Latency PrintAndWait(const std::string& name, long size) {
    const auto start = Clock::now();
    const int id = Submit(name);
    Latency latency;
    for (int polls = 1;; ++polls) {
      const long now = OutputSize(m_target.outputDir, id, name);
      if (now > 0 && latency.firstByte == 0)
        latency.firstByte = std::chrono::duration<double>(Clock::now() - start).count();
      if (now == size) break;
      if (polls % 256 == 0 && kill(m_server, 0) != 0) {
        std::fprintf(stderr, "ipp_bench_client: the server stopped during job %s\n", name.c_str());
        std::exit(1);
      }
      if (Clock::now() - start > std::chrono::seconds(60)) {
        std::fprintf(stderr, "ipp_bench_client: job %s did not complete\n", name.c_str());
        std::exit(1);
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    latency.complete = std::chrono::duration<double>(Clock::now() - start).count();
    return latency;
  }

 private:
  const Target& m_target;
  pid_t m_server;
  http_t* m_http = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 9 && argc != 10) {
    std::fprintf(
        stderr,
        "usage: ipp_bench_client URI FILE FORMAT OUTPUT-DIR SERVER-PID NAME JOBS CLIENTS [PAUSE-MS]\n");
    return 2;
  }
  Target target;
  target.uri = argv[1];
  target.file = argv[2];
  target.format = argv[3];
  target.outputDir = argv[4];
  const std::string pid = argv[5], name = argv[6];
  const int jobs = std::atoi(argv[7]), clients = std::atoi(argv[8]);
  const auto pause = std::chrono::milliseconds(argc == 10 ? std::atoi(argv[9]) : 0);
  const auto server = static_cast<pid_t>(std::atoi(argv[5]));
  char scheme[32], user[256];
  if (httpSeparateURI(HTTP_URI_CODING_ALL, target.uri.c_str(), scheme, sizeof scheme, user, sizeof user,
                      target.host, sizeof target.host, &target.port, target.resource,
                      sizeof target.resource) < HTTP_URI_STATUS_OK)
    return 2;

  // The size of a complete output: a warm-up job's, once it stops growing.
  const std::string warm = name + "-warm";
  long size = -1;
  {
    Client client(target, server);
    const int id = client.Submit(warm);
    for (int i = 0; i < 600; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      const long now = OutputSize(target.outputDir, id, warm);
      if (now > 0 && now == size) break;
      size = now;
    }
    if (size <= 0) {
      std::fprintf(stderr, "ipp_bench_client: the warm-up job printed nothing\n");
      return 1;
    }
  }

  std::vector<double> latencies, firstBytes;
  std::mutex lock;
  const double cpuBefore = ProcessCpu(pid);
  const auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int c = 0; c < clients; ++c)
    threads.emplace_back([&, c] {
      Client client(target, server);
      std::vector<double> mine, myFirstBytes;
      for (int j = 0; j < jobs; ++j) {
        const auto latency =
            client.PrintAndWait(name + "-" + std::to_string(c) + "-" + std::to_string(j), size);
        mine.push_back(latency.complete);
        myFirstBytes.push_back(latency.firstByte);
        std::this_thread::sleep_for(pause);
      }
      std::lock_guard<std::mutex> hold(lock);
      latencies.insert(latencies.end(), mine.begin(), mine.end());
      firstBytes.insert(firstBytes.end(), myFirstBytes.begin(), myFirstBytes.end());
    });
  for (std::thread& t : threads) t.join();
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  const double cpu = ProcessCpu(pid) - cpuBefore;
  std::sort(latencies.begin(), latencies.end());
  std::sort(firstBytes.begin(), firstBytes.end());
  const size_t n = latencies.size();
  std::printf(
      "%-24s %4zu jobs %7.1f jobs/s  latency median %6.2f ms  p90 %6.2f ms  server CPU %5.2f ms/job"
      "  first byte median %6.2f ms\n",
      name.c_str(), n, static_cast<double>(n) / wall, latencies[n / 2] * 1000,
      latencies[std::min(n - 1, n * 9 / 10)] * 1000, cpu / static_cast<double>(n) * 1000,
      firstBytes[n / 2] * 1000);
  return 0;
}
