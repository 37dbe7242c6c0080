// The flash read out on the simulated board: /backup before an update's
// erase (and the backup put back), /dump and /check, each with its console
// text, its exit code, the file it writes and the flash it leaves.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/flash_readout.h"
#include "app/tool_main.h"
#include "e2e/update_expect.h"
#include "platform/host/host_session.h"
#include "sim/board.h"

namespace {

using namespace vexa_test;
using namespace vexa_test::update;

constexpr unsigned kFlashKb = 256;  // the default board's chip, 52 30 00 08

// Banner to the chip-ID line of a plain run on the default board.
std::string Opened() { return Opening{}.Text() + Preparation(false, k5230, 0x80); }

// The ending of a run whose controller restarted, the closing "\n\n" included.
std::string Restarted() { return FwVersion(0x1A, 0x05) + kEarlyStop; }

std::vector<std::uint8_t> WithByte(std::vector<std::uint8_t> flash, std::size_t at, std::uint8_t value) {
  flash[at] = value;
  return flash;
}

// Whatever the board held, an update with /backup leaves the new image, and
// the backup, put back as an image, leaves the flash as it was before.
TEST(FlashReadout, ABackupPutBackRestoresTheFlashItWasTakenFrom) {
  const std::vector<std::uint8_t> image = MakeImage(16 * 1024 + 100, 41);
  std::vector<std::uint8_t> endsInZeros = MakeImage(kFlashKb * 1024, 43);
  std::fill(endsInZeros.end() - 1024, endsInZeros.end(), 0x00);
  const struct {
    const char* label;
    std::vector<std::uint8_t> before;
  } cases[] = {
      {"an earlier update, erased after its image", FlashAfterUpdate(MakeImage(20 * 1024 + 300, 42), kFlashKb)},
      {"old content to the last byte", MakeImage(kFlashKb * 1024, 44)},
      {"old content whose last kilobyte is zeros", endsInZeros},
      {"one byte after the erased kilobytes", WithByte(FlashAfterUpdate(image, kFlashKb), 100 * 1024 + 5, 0x7E)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    dir.Write("fw.bin", image);
    dir.Write("flash.bin", c.before);
    const std::vector<std::uint8_t> backup = BackupOf(c.before);

    const SimResult update = RunSim({"--flash", "flash.bin"}, {"fw.bin", "/id", "5230", "/backup", "a.bin"}, dir.path());
    EXPECT_EQ(HideSeconds(update.out), Opened() + ImageLine("fw.bin", image.size()) + ReadBars(kBackupLabel) +
                                           BackupSaved("a.bin", backup.size()) + FlashBars() +
                                           SuccessEnd(false, FwVersion(0x1A, 0x05)) + kEarlyStop);
    EXPECT_EQ(update.exitCode, 0);
    EXPECT_EQ(FlashDifference(ReadBytes(dir / "flash.bin"), FlashAfterUpdate(image, kFlashKb)), "");
    EXPECT_EQ(FlashDifference(ReadBytes(dir / "a.bin"), backup), "");

    const SimResult restore = RunSim({"--flash", "flash.bin"}, {"a.bin", "/id", "5230"}, dir.path());
    EXPECT_EQ(restore.exitCode, 0) << restore.out;
    EXPECT_EQ(FlashDifference(ReadBytes(dir / "flash.bin"), c.before), "");
  }
}

// /dump writes the whole flash, /check compares it with what an update
// leaves (the first differing byte and the count); neither changes a byte.
TEST(FlashReadout, DumpAndCheckReadTheFlashAndChangeNothing) {
  const std::vector<std::uint8_t> image = MakeImage(10 * 1024 + 500, 51);
  const std::vector<std::uint8_t> updated = FlashAfterUpdate(image, kFlashKb);
  const std::vector<std::uint8_t> erased(kFlashKb * 1024, 0xFF);
  const struct {
    const char* label;
    std::vector<std::uint8_t> flash;
    bool dump;  // else /check of fw.bin
    // A flash without a signature leaves the controller without firmware:
    // both version queries fail, and only /force reads the flash.
    bool noFirmware = false;
  } cases[] = {
      {"dump of an updated board", updated, true},
      {"dump of old content", MakeImage(kFlashKb * 1024, 52), true},
      {"check of the same image", updated, false},
      {"check: one image byte differs", WithByte(updated, 0x1234, updated[0x1234] ^ 0x10), false},
      {"check: the signature block differs", WithByte(updated, 0x47, updated[0x47] ^ 0x01), false},
      {"check: the zeros after the image are not zeros", WithByte(updated, image.size() + 3, 0xFF), false},
      {"check: a byte after the image's last kilobyte is not erased", WithByte(updated, 0x30000, 0x00), false},
      {"check: an erased flash, with /force", erased, false, true},
      {"check: another image", FlashAfterUpdate(MakeImage(image.size(), 53), kFlashKb), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    dir.Write("fw.bin", image);
    dir.Write("flash.bin", c.flash);
    std::vector<std::string> args = c.dump ? std::vector<std::string>{"/dump", "d.bin", "/id", "5230"}
                                           : std::vector<std::string>{"fw.bin", "/check", "/id", "5230"};
    if (c.noFirmware) args.push_back("/force");
    const SimResult run = RunSim({"--flash", "flash.bin"}, args, dir.path());

    std::string expected =
        c.noFirmware ? Opening{}.BeforeVersion() + kVersionRefused + ChipIdLine(0x52, 0x30) : Opened();
    const std::string ending = c.noFirmware ? kVersionRefused + kEarlyStop : Restarted();
    int exitCode = 0;
    if (c.dump) {
      expected += DumpLine("d.bin", kFlashKb) + ReadBars(kReadLabel) + DumpSuccess("d.bin", kFlashKb) + Restarted();
      EXPECT_EQ(FlashDifference(ReadBytes(dir / "d.bin"), c.flash), "");
    } else {
      expected += ImageLine("fw.bin", image.size()) + ReadBars(kReadLabel);
      std::size_t differing = 0;
      std::size_t first = 0;
      for (std::size_t i = 0; i < c.flash.size(); ++i) {
        if (c.flash[i] != updated[i] && differing++ == 0) first = i;
      }
      if (differing == 0) {
        expected += CheckMatch("fw.bin") + ending;
      } else {
        expected += CheckDiffers(first, c.flash[first], updated[first], differing) + ending +
                    NotHeld("fw.bin", "5230");
        exitCode = 3;
      }
    }
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.exitCode, exitCode);
    EXPECT_EQ(FlashDifference(ReadBytes(dir / "flash.bin"), c.flash), "");
  }
}

// A file that cannot be written, or a read that does not arrive, ends the
// run with exit code 7 and the board as it was: a backup's failure comes
// before the erase, which is then never sent.
TEST(FlashReadout, AFailedReadOrFileLeavesTheBoardAsItWas) {
  const std::vector<std::uint8_t> image = MakeImage(4 * 1024, 61);
  const std::vector<std::uint8_t> old = MakeImage(kFlashKb * 1024, 62);
  // Read transaction 3 is the first read's first data frame (after the
  // version and the chip ID).
  const std::string readFail = Console("\n\nIndex[00] Read Back Fail!") + kFlashReadFail;
  const std::string noFile = Stdout("\n\n\rFile Create Fail! no/x.bin cannot be written.\n");
  const std::string backupHead = Opened() + ImageLine("fw.bin", image.size()) + Console(kBackupLabel);
  const std::string dumpHead = Opened() + DumpLine("no/x.bin", kFlashKb) + Console(kReadLabel);
  const struct {
    const char* label;
    std::vector<std::string> board;
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {"backup into a folder that is not there", {},
       {"fw.bin", "/id", "5230", "/backup", "no/x.bin"},
       backupHead + Cells(12) + Console("\n\nReread   : ") + Cells(12) + noFile + kBackupFail + kEarlyStop},
      {"backup whose first read fails", {"--fault", "nack-read=3"},
       {"fw.bin", "/id", "5230", "/backup", "a.bin"}, backupHead + readFail + kBackupFail + kEarlyStop},
      {"dump into a folder that is not there", {},
       {"/dump", "no/x.bin", "/id", "5230"},
       dumpHead + Cells(12) + Console("\n\nReread   : ") + Cells(12) + noFile + Restarted() + kFlashNotRead},
      {"check of an image larger than the flash", {"--chip", "88530100", "--flash-size", "256"}, {"big.bin", "/check", "/id", "8853"},
       Opening{}.Text() + Preparation(false, {0x88, 0x53, 0x01, 0x00}, 0x80) + ImageLine("big.bin", 33 * 1024) +
           Console("Image Too Large! 33 KBytes do not fit in the 32 KBytes flash of this chip!!\n\n") + Restarted() +
           kFlashNotRead},
      {"check whose first read fails", {"--fault", "nack-read=3"}, {"fw.bin", "/check", "/id", "5230"},
       Opened() + ImageLine("fw.bin", image.size()) + Console(kReadLabel) + readFail + Restarted() + kFlashNotRead},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    dir.Write("fw.bin", image);
    dir.Write("big.bin", MakeImage(33 * 1024, 63));
    dir.Write("flash.bin", old);
    std::vector<std::string> board = c.board;
    board.insert(board.end(), {"--flash", "flash.bin", "--trace", "bus.txt"});
    const SimResult run = RunSim(board, c.args, dir.path());
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.exitCode, 7);
    EXPECT_EQ(CountLines(ReadLines(dir / "bus.txt"), WriteLine(0x80, {0xFF, 0xFE, 0x07, 0x01})), 0u);
    EXPECT_EQ(FlashDifference(ReadBytes(dir / "flash.bin"), old), "");
  }
}

// The bus bytes /db states for a dump are the ones the chip counts: a dump
// run less a run without an image (the same preparation and ending), for
// each address format and flash size.
TEST(FlashReadout, TheDumpsBusBytesAreTheOnesOnTheBus) {
  const struct {
    std::array<std::uint8_t, 4> chip;
    const char* id;
    unsigned kb;
    unsigned addrBytes;
  } chips[] = {{{0x52, 0x30, 0x00, 0x08}, "5230", 256, 3},
               {{0x88, 0x53, 0x01, 0x00}, "8853", 32, 2},
               {{0x52, 0x53, 0x00, 0x00}, "5253", 128, 3}};
  for (const auto& c : chips) {
    SCOPED_TRACE(c.id);
    std::uint64_t bytes[2] = {0, 0};
    std::string console;
    for (const bool dump : {false, true}) {
      TempDir dir;
      const std::string name = (dir / "d.bin").string();
      sim::BoardConfig config;
      config.pd->chipId = c.chip;
      sim::Board board(config);
      HostSession session;
      session.board = &board;
      session.capture = &console;
      std::vector<const char*> args = {"VEXA", "/id", c.id, "/db"};
      // The dump file goes by its full name: a value is never read as an option.
      if (dump) args.insert(args.end(), {"/dump", name.c_str()});
      console.clear();
      HostSessionBegin(&session);
      EXPECT_EQ(ToolMain(static_cast<int>(args.size()), args.data()), 0) << console;
      HostSessionEnd();
      EXPECT_TRUE(board.Finish()) << board.FinishError();
      bytes[dump ? 1 : 0] = board.Pd()->record().busBytes;
    }
    const FlashReadCost cost = FlashReadBusCost(c.kb, c.addrBytes);
    EXPECT_EQ(bytes[1] - bytes[0], 2 * cost.busBytes);
    EXPECT_EQ(cost.frames, c.kb * 8);
    EXPECT_EQ(cost.bareUs, cost.busBytes * 9 * 1'000'000 / 400'000);
    EXPECT_NE(console.find(Format("Flash Read: 2 x %u frames of 128 bytes, 2 x %llu bus bytes, 2 x %llu ms at 400 kHz",
                                  cost.frames, static_cast<unsigned long long>(cost.busBytes),
                                  static_cast<unsigned long long>(cost.bareUs / 1000))),
              std::string::npos)
        << console;
  }
}

}  // namespace
