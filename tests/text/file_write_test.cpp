// Writing files through the platform layer: a record appended to never
// loses what it held, a replaced file keeps nothing of its old content.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/platform.h"

namespace {

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(FileWrite, AppendKeepsEarlierBytesAndReplaceDropsThem) {
  const std::string path = (std::filesystem::temp_directory_path() / "vexa_file_write_test.bin").string();
  std::remove(path.c_str());
  struct Step {
    PlatformWriteMode mode;
    const char* text;
    int64_t existingBefore;
    const char* contentsAfter;
  };
  const Step steps[] = {
      {PlatformWriteMode::Append, "head\n", 0, "head\n"},
      {PlatformWriteMode::Append, "one\n", 5, "head\none\n"},
      {PlatformWriteMode::Append, "two\n", 9, "head\none\ntwo\n"},
      {PlatformWriteMode::Replace, "new", 0, "new"},
      {PlatformWriteMode::Append, "er", 3, "newer"},
  };
  for (const Step& step : steps) {
    int64_t existing = -7;
    PlatformFile* file = PlatformFileOpenWrite(path.c_str(), step.mode, &existing);
    ASSERT_NE(file, nullptr) << step.text;
    EXPECT_EQ(existing, step.existingBefore) << step.text;
    EXPECT_TRUE(PlatformFileWrite(file, step.text, std::char_traits<char>::length(step.text)));
    EXPECT_TRUE(PlatformFileFlush(file));
    PlatformFileClose(file);
    EXPECT_EQ(Contents(path), step.contentsAfter) << step.text;
  }
  std::remove(path.c_str());
}

TEST(FileWrite, ADirectoryOrMissingFolderIsNotOpened) {
  const std::string folder = std::filesystem::temp_directory_path().string();
  EXPECT_EQ(PlatformFileOpenWrite(folder.c_str(), PlatformWriteMode::Append, nullptr), nullptr);
  const std::string missing = folder + "/vexa-no-such-folder/record.csv";
  EXPECT_EQ(PlatformFileOpenWrite(missing.c_str(), PlatformWriteMode::Replace, nullptr), nullptr);
}

}  // namespace
