// Runs qxvn as a user would: a separate process, its output captured, in a temporary folder
// that each test gets for itself.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qxtest {

struct RunResult {
  int status = -1;  // exit status; -1 when the process did not exit normally
  std::string out;
  std::string err;
};

// qxvn with `args`; `shellPrefix`, when given, runs before it in the same shell (e.g. "ulimit -f 1;").
RunResult RunQxvn(const std::vector<std::string>& args, const std::string& shellPrefix = "");

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);
std::vector<std::string> ListDir(const std::string& dir);

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // A path in this test's folder.
  std::string Path(const std::string& name) const { return m_dir + "/" + name; }
  const std::string& Dir() const { return m_dir; }

 private:
  std::string m_dir;
};

}  // namespace qxtest
