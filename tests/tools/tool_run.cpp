#include "tests/tools/tool_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace qxtest {
namespace {

std::string Quoted(const std::string& arg) {
  std::string out = "'";
  for (char c : arg) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  out += '\'';
  return out;
}

}  // namespace

RunResult RunQxvn(const std::vector<std::string>& args, const std::string& shellPrefix) {
  char outPath[] = "/tmp/qxvn-test-out-XXXXXX";
  char errPath[] = "/tmp/qxvn-test-err-XXXXXX";
  close(mkstemp(outPath));
  close(mkstemp(errPath));
  std::string command = shellPrefix + " exec " + Quoted(QXVN_PATH);
  // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on chained string sums.
  for (const std::string& arg : args) {
    command += ' ';
    command += Quoted(arg);
  }
  command += " >";
  command += Quoted(outPath);
  command += " 2>";
  command += Quoted(errPath);
  command += " </dev/null";
  int raw = std::system(command.c_str());
  RunResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
  unlink(outPath);
  unlink(errPath);
  return result;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

std::vector<std::string> ListDir(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

void ToolTest::SetUp() {
  char dir[] = "/tmp/qxvn-test-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  m_dir = dir;
}

void ToolTest::TearDown() { std::filesystem::remove_all(m_dir); }

}  // namespace qxtest
