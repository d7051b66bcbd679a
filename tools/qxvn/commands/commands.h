// The qxvn commands. Each takes the arguments after its name, returns the exit status and
// throws ToolError (exit 1) or UsageError (exit 2) with one line for the user.
#pragma once

namespace qxvn {

int RunPrint(int argc, char** argv, int first);
int RunDecode(int argc, char** argv, int first);
int RunDump(int argc, char** argv, int first);

extern const char kMainUsage[];
extern const char kPrintUsage[];
extern const char kDecodeUsage[];
extern const char kDumpUsage[];

}  // namespace qxvn
