// The runtime's hand-over from the Shell's 16-bit arguments to the tool,
// run against the real tool on the host platform layer.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/host/host_session.h"
#include "platform/uefi/efi_bridge.h"

namespace {

struct ToolRun {
  int exitCode;
  std::string console;
  std::string trace;
};

ToolRun RunWith(const std::vector<const char16_t*>& args, size_t allocationLimit = SIZE_MAX,
            unsigned long long argc = ~0ull) {
  HostSession session;
  std::string console;
  session.capture = &console;
  session.allocationLimit = allocationLimit;
  std::FILE* trace = std::tmpfile();
  session.ioTrace = trace;
  HostSessionBegin(&session);
  const int exitCode = RunToolWithShellArguments(argc != ~0ull ? argc : args.size(), args.data());
  HostSessionEnd();
  std::string traced;
  std::rewind(trace);
  for (int c; (c = std::fgetc(trace)) != EOF;) traced += static_cast<char>(c);
  std::fclose(trace);
  return {exitCode, console, traced};
}

TEST(ShellArguments, ReachTheToolInOrderAndWhole) {
  const ToolRun usage = RunWith({u"VEXA.efi"});
  EXPECT_EQ(usage.exitCode, 0);
  EXPECT_NE(usage.console.find("Usage Discription"), std::string::npos);

  const ToolRun rejected = RunWith({u"VEXA.efi", u"/db", u"/V"});
  EXPECT_EQ(rejected.exitCode, 1);
  EXPECT_NE(rejected.console.find("Wrong Parameter!"), std::string::npos);

  // The name after /sa is its value, never an image: refused as a value
  // and not opened. The .bin after an accepted value is opened.
  const ToolRun valued = RunWith({u"VEXA.efi", u"/sa", u"x.bin", u"none.bin"});
  EXPECT_EQ(valued.exitCode, 1);
  EXPECT_NE(valued.console.find("/sa x.bin: the value must be hexadecimal"), std::string::npos) << valued.console;
  EXPECT_EQ(valued.trace.find("open \"x.bin\""), std::string::npos) << valued.trace;
  const ToolRun opened = RunWith({u"VEXA.efi", u"/sa", u"84", u"none.bin"});
  EXPECT_EQ(opened.exitCode, 1);
  EXPECT_NE(opened.trace.find("open \"none.bin\" fail"), std::string::npos) << opened.trace;
}

TEST(ShellArguments, FileNamesArriveAsLatinOneWithQuestionMarks) {
  const ToolRun run = RunWith({u"VEXA.efi", u"sub\\f\u00fcr-\u4e2d\U0001F600.bin"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.trace.find("open \"sub\\f\xfcr-??.bin\" fail"), std::string::npos) << run.trace;
}

TEST(ShellArguments, AMissingArgumentCountsAsEmpty) {
  const ToolRun missing = RunWith({u"VEXA.efi", nullptr});
  const ToolRun empty = RunWith({u"VEXA.efi", u""});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.exitCode, empty.exitCode);
  EXPECT_EQ(missing.console, empty.console);
}

TEST(ShellArguments, NoRoomForTheArgumentsRunsNoTool) {
  const ToolRun noMemory = RunWith({u"VEXA.efi", u"/V"}, /*allocationLimit=*/16);
  EXPECT_EQ(noMemory.exitCode, -1);
  EXPECT_EQ(noMemory.console, "");

  const std::vector<const char16_t*> one = {u"VEXA.efi"};
  const ToolRun tooMany = RunWith(one, SIZE_MAX, 0x10001);
  EXPECT_EQ(tooMany.exitCode, -1);
  EXPECT_EQ(tooMany.console, "");
}

}  // namespace
