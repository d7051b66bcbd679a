// qxvn-driver-check FOLDER [FILE...]: checks a built driver package folder, and that it holds
// each FILE named. Prints one problem a line; exit status 1 when there is any.
#include <cstdio>
#include <filesystem>

#include "tests/driver/driver_check.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: qxvn-driver-check FOLDER [FILE...]\n");
    return 2;
  }
  if (!std::filesystem::is_directory(argv[1])) {
    std::fprintf(stderr, "qxvn-driver-check: %s is not a folder\n", argv[1]);
    return 1;
  }
  const auto files = qxdriver::ReadFolder(argv[1]);
  std::vector<std::string> problems = qxdriver::CheckDriverPackage(files);
  for (int i = 2; i < argc; ++i) {
    auto it = files.find(argv[i]);
    if (it == files.end() || it->second.empty())
      problems.push_back(std::string("the package lacks ") + argv[i]);
  }
  for (const std::string& p : problems) std::fprintf(stderr, "%s\n", p.c_str());
  if (problems.empty()) std::printf("%s: %zu files, sound\n", argv[1], files.size());
  return problems.empty() ? 0 : 1;
}
