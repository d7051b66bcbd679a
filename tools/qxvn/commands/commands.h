// The qxvn commands. Each takes the arguments after its name, returns the exit status and
// throws ToolError (exit 1) or UsageError (exit 2) with one line for the user.
#pragma once

namespace qxvn {

// qxvn print --verify: the job printed, but a bar code failed the check.
constexpr int kExitSymbolFailed = 3;

int RunPrint(int argc, char** argv, int first);
int RunDecode(int argc, char** argv, int first);
int RunDump(int argc, char** argv, int first);

extern const char kMainUsage[];
extern const char kPrintUsage[];
extern const char kDecodeUsage[];
extern const char kDumpUsage[];

}  // namespace qxvn
