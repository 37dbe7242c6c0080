// The board record (/log FILE) written by the real vexa-sim: one CSV line
// per run, field by field against what the board was given and what the
// run did.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "app/sha256.h"
#include "e2e/cli_texts.h"
#include "support/sim_process.h"

namespace {

using namespace vexa_test;

const std::vector<std::string> kColumns = {
    "date_time",     "tool_version", "system_manufacturer", "system_product", "system_serial",
    "system_uuid",   "board_product", "board_serial",       "platform",       "i2c_channel",
    "slave_address", "chip_id",      "version_before",      "image",          "image_bytes",
    "image_sha256",  "force",        "failed_step",         "exit_code",      "result",
    "version_after", "seconds"};

// One CSV line (no line end) split into its fields, quotes undone.
std::vector<std::string> SplitCsv(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      fields.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

// `text` has the shape of `pattern`: each 'd' a decimal digit, every other
// character itself ("dddd-dd-dd" for a date); an empty pattern stands for
// one or more digits.
bool HasShape(const std::string& text, const std::string& pattern) {
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (pattern.empty()) return !text.empty() && std::all_of(text.begin(), text.end(), digit);
  if (text.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (pattern[i] == 'd' ? !digit(text[i]) : text[i] != pattern[i]) return false;
  }
  return true;
}

std::string JoinColumns() {
  std::string header;
  for (const std::string& column : kColumns) header += (header.empty() ? "" : ",") + column;
  return header;
}

std::string Sha256Text(const std::vector<std::uint8_t>& bytes) {
  std::uint8_t digest[kSha256Bytes];
  Sha256Of(bytes.data(), bytes.size(), digest);
  char hex[kSha256HexDigits + 1];
  Sha256Hex(digest, hex);
  return hex;
}

const std::vector<std::string> kSmbios = {
    "--smbios", "type=1,manufacturer=Line Works,product=Board,, Rev B,serial=SYS-0042,"
                "uuid=00112233-4455-6677-8899-aabbccddeeff",
    "--smbios", "type=2,product=MB-1,serial= MB 7 "};

// Runs in order on one board and one record file, as a factory line would:
// the flash carries over. Every line is checked field by field; the fields
// a case does not name hold the run's common values.
TEST(CliRecord, EachRunAppendsOneLineNamingBoardImageAndOutcome) {
  TempDir dir;
  const std::vector<std::uint8_t> image = MakeImage(8 * 1024, 5);
  dir.Write("fw.bin", image);
  const std::map<std::string, std::string> common = {
      {"tool_version", "1.0.0.b3"},
      {"system_manufacturer", "Line Works"},
      {"system_product", "Board, Rev B"},
      {"system_serial", "SYS-0042"},
      {"system_uuid", "00112233-4455-6677-8899-aabbccddeeff"},
      {"board_product", "MB-1"},
      {"board_serial", "MB 7"},
      {"platform", "intel"},
      {"i2c_channel", "0"},
      {"slave_address", "0x80"},
      {"chip_id", "5230"},
      {"version_before", "1A05"},
      {"image", "fw.bin"},
      {"image_bytes", "8192"},
      {"image_sha256", Sha256Text(image)},
      {"force", "no"},
      {"failed_step", "none"},
      {"exit_code", "0"},
      {"result", "PASS"},
      {"version_after", "1A05"},
  };
  const struct {
    const char* label;
    std::vector<std::string> board;
    std::vector<std::string> args;
    int exitCode;
    std::map<std::string, std::string> fields;
  } cases[] = {
      {"good board", {}, {"/log", "b.csv", "fw.bin", "/id", "5230"}, 0, {}},
      {"PD version after, /log last", {}, {"fw.bin", "/id", "5230", "/v", "/log", "b.csv"}, 0,
       {{"version_after", "03100102005A"}}},
      {"wrong chip", {"--chip", "58310008"}, {"/log", "b.csv", "fw.bin", "/id", "5230"}, 7,
       {{"chip_id", "5831"}, {"failed_step", "chip-id"}, {"exit_code", "7"}, {"result", "FAIL"},
        {"version_after", "none"}}},
      {"failing board: power lost in the program pass", {"--fault", "power-loss=300"},
       {"/log", "b.csv", "fw.bin", "/id", "5230"}, 7,
       {{"failed_step", "program"}, {"exit_code", "7"}, {"result", "FAIL"}, {"version_after", "none"}}},
      {"blank: the cut update left no firmware", {}, {"/log", "b.csv", "fw.bin", "/id", "5230"}, 7,
       {{"chip_id", "none"}, {"version_before", "none"}, {"failed_step", "version-before"},
        {"exit_code", "7"}, {"result", "FAIL"}, {"version_after", "none"}}},
      {"blank, forced", {}, {"/log", "b.csv", "fw.bin", "/id", "5230", "/force"}, 0,
       {{"version_before", "none"}, {"force", "yes"}}},
      {"channel and address as given", {"--pd-channel", "1", "--sa", "84"},
       {"/log", "b.csv", "/i2c", "1", "/sa", "84", "/ov"}, 0,
       {{"i2c_channel", "1"}, {"slave_address", "0x84"}, {"chip_id", "none"}, {"image", "none"},
        {"image_bytes", "0"}, {"image_sha256", "none"}, {"version_after", "none"}}},
      {"refused value", {}, {"/log", "b.csv", "fw.bin", "/sa", "5230zz"}, 1,
       {{"platform", "none"}, {"chip_id", "none"}, {"version_before", "none"}, {"failed_step", "command-line"},
        {"exit_code", "1"}, {"result", "FAIL"}, {"version_after", "none"}}},
      {"missing image", {}, {"missing.bin", "/log", "b.csv"}, 1,
       {{"platform", "none"}, {"chip_id", "none"}, {"version_before", "none"}, {"image", "none"},
        {"image_bytes", "0"}, {"image_sha256", "none"}, {"failed_step", "image"}, {"exit_code", "1"},
        {"result", "FAIL"}, {"version_after", "none"}}},
      {"no SMBIOS table", {"--smbios", "none"}, {"/log", "b.csv", "/ov"}, 0,
       {{"system_manufacturer", "unknown"}, {"system_product", "unknown"}, {"system_serial", "unknown"},
        {"system_uuid", "unknown"}, {"board_product", "unknown"}, {"board_serial", "unknown"},
        {"chip_id", "none"}, {"image", "none"}, {"image_bytes", "0"}, {"image_sha256", "none"},
        {"version_after", "none"}}},
  };
  std::size_t lines = 1;
  std::string before;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<std::string> board = c.board;
    if (c.board.empty() || c.board[0] != "--smbios") board.insert(board.end(), kSmbios.begin(), kSmbios.end());
    board.insert(board.end(), {"--flash", "flash.bin"});
    const SimResult run = RunSim(board, c.args, dir.path());
    EXPECT_EQ(run.exitCode, c.exitCode) << run.out;

    const std::string text = ReadText(dir / "b.csv");
    // The earlier lines stay byte for byte; exactly one line is added.
    EXPECT_EQ(text.substr(0, before.size()), before);
    before = text;
    const std::vector<std::string> all = ReadLines(dir / "b.csv");
    ASSERT_EQ(all.size(), ++lines);
    EXPECT_EQ(all[0], JoinColumns());
    const std::vector<std::string> fields = SplitCsv(all.back());
    ASSERT_EQ(fields.size(), kColumns.size()) << all.back();
    for (std::size_t i = 0; i < kColumns.size(); ++i) {
      const std::string& column = kColumns[i];
      if (column == "date_time") {
        EXPECT_TRUE(HasShape(fields[i], "dddd-dd-ddTdd:dd:dd")) << fields[i];
      } else if (column == "seconds") {
        EXPECT_TRUE(HasShape(fields[i], "")) << fields[i];
      } else {
        const auto own = c.fields.find(column);
        EXPECT_EQ(fields[i], own != c.fields.end() ? own->second : common.at(column)) << column;
      }
    }
  }
}

// A record that cannot be kept is said, and never hides a failure: the
// board is not touched when the file cannot be opened (exit code 4); an
// update whose line cannot be written exits 4; a failed one keeps its 7.
TEST(CliRecord, ARecordThatCannotBeWrittenIsAnError) {
  const std::string openFail =
      "\r\nRecord Open Fail! none/b.csv cannot be written (/log).\r\nNothing was done to the board. Check the "
      "stick (write protection, free space) and the /log name, then run VEXA again.\r\n";
  const std::string writeFail =
      "\r\nRecord Write Fail! /dev/full cannot be written (/log).\r\nThis run's line is missing from it; the "
      "result above stands. Check the stick (write protection, free space), then run VEXA again to record "
      "the board.\r\n";
  const struct {
    std::vector<std::string> board;
    std::vector<std::string> args;
    int exitCode;
    std::string ending;  // the end of the output
    bool hardware;       // the run reached the hardware
  } cases[] = {
      {{}, {"/log", "none/b.csv", "fw.bin", "/id", "5230"}, 4, openFail, false},
      {{}, {"/log", "none/b.csv", "fw.bin", "/sa", "zz"}, 1, openFail, false},
      {{}, {"/log", "/dev/full", "fw.bin", "/id", "5230"}, 4, writeFail, true},
      {{"--chip", "58310008"}, {"/log", "/dev/full", "fw.bin", "/id", "5230"}, 7, writeFail, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(JoinArgs(c.args));
    TempDir dir;
    dir.Write("fw.bin", MakeImage(4096));
    std::vector<std::string> board = c.board;
    board.insert(board.end(), {"--io-trace", "io.txt"});
    const SimResult run = RunSim(board, c.args, dir.path());
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_TRUE(run.out.ends_with(c.ending)) << run.out;
    EXPECT_EQ(LinesStartingWith(ReadLines(dir / "io.txt"), "out32").empty(), !c.hardware);
  }
}

// A line cut short (power lost while it was written) stays as it is, and
// the next record begins on a line of its own.
TEST(CliRecord, ALineCutShortIsNotJoined) {
  TempDir dir;
  const std::string earlier = JoinColumns() + "\n2026-01-01T00:00:00,1.0.0.b3,VEX";
  dir.WriteText("b.csv", earlier);
  const SimResult run = RunSim({}, {"/log", "b.csv", "/ov"}, dir.path());
  EXPECT_EQ(run.exitCode, 0);
  const std::string text = ReadText(dir / "b.csv");
  ASSERT_EQ(text.substr(0, earlier.size() + 1), earlier + "\n");
  EXPECT_EQ(SplitCsv(ReadLines(dir / "b.csv").back()).size(), kColumns.size());
  EXPECT_EQ(ReadLines(dir / "b.csv").size(), 3u);
}

}  // namespace
