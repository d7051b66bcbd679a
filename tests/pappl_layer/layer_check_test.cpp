// The start-up check against the stand-in library built each way: a program whose replacement
// does not take the library's place refuses to start and says why; one whose replacement does
// runs it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct ProgramRun {
  int status = -1;
  std::string output;
};

ProgramRun RunWith(const std::string& libraryDir, const std::string& args) {
  const std::string command = "LD_LIBRARY_PATH='" + libraryDir + "' '" STANDIN_APP "' " + args + " 2>&1";
  ProgramRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

TEST(LayerCheckTest, RefusesEveryReplacementThatDoesNotTakeEffect) {
  const std::string root = STANDIN_ROOT;
  const struct Case {
    const char* variant;
    const char* args;
    int status;
    std::string output;
  } cases[] = {
      {"sound", "", 0, "the replacement ran"},
      {"missing", "", 1,
       "standin_app: refusing to start: STANDIN 1.3.1 (" + root +
           "/missing/libqxstandin.so.1): standinGuard: the library has no such function\n"
           "standin_app: refusing to start: STANDIN 1.3.1 (" +
           root +
           "/missing/libqxstandin.so.1): standinImported: the library has no such function (the app calls "
           "it)\n"},
      // Without the check the null original would be called: the process stops naming it.
      {"missing", "--call", 70, "has no standinGuard, which the app replaces"},
      {"bound-inside", "", 1,
       "STANDIN 1.3.1 (" + root +
           "/bound-inside/libqxstandin.so.1): standinGuard: the library binds its own calls of it inside "
           "itself, so the app's replacement would never run\n"},
      // What the check guards against: the library's path silently skips the replacement.
      {"bound-inside", "--no-check", 0, "the replacement did not run"},
      {"newer", "", 1,
       "standin_app: refusing to start: STANDIN 1.4.2 (" + root +
           "/newer/libqxstandin.so.1): not a version the app was checked against STANDIN 1.3.1 up to, not "
           "including, 1.4.0\n"},
      {"older", "", 1, "STANDIN 1.3.0 (" + root + "/older/libqxstandin.so.1): not a version"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.variant) + " " + c.args);
    const ProgramRun run = RunWith(root + "/" + c.variant, c.args);
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_NE(run.output.find(c.output), std::string::npos) << run.output;
  }
}

}  // namespace
