// The qxvn commands. Each takes the arguments after its name, returns the exit status and
// throws ToolError (exit 1) or UsageError (exit 2) with one line for the user.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace qxvn {

// qxvn print --verify: the job printed, but a bar code failed the check.
constexpr int kExitSymbolFailed = 3;

int RunPrint(int argc, char** argv, int first);
int RunDecode(int argc, char** argv, int first);
int RunDump(int argc, char** argv, int first);

// What `decode` writes: the stream checked, then one PNG a page (OUT.png for one page,
// OUT-1.png, OUT-2.png... for several), each listed on `listing`. `streamPath` names the
// stream in messages. Throws ToolError; no picture is written then.
void WritePagePictures(const std::string& streamPath, std::span<const uint8_t> stream,
                       const std::string& outPath, FILE* listing);

extern const char kMainUsage[];
extern const char kPrintUsage[];
extern const char kDecodeUsage[];
extern const char kDumpUsage[];

}  // namespace qxvn
