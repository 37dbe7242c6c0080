// What a whole update run on the simulated board should look like: the
// console text (built from the tool's fixed messages, turned into the CR LF
// form that reaches standard output), the write frames on the bus, the
// flash content afterwards and the places of the progress cells.
#pragma once

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "e2e/cli_texts.h"
#include "app/sha256.h"
#include "sim/board.h"
#include "support/sim_process.h"

namespace vexa_test::update {

// ---------------------------------------------------------------------------
// Console text

// A 16-bit console text as it reaches standard output: "\n", "\n\r" and
// "\r\n" each become one CR LF; a lone "\r" stays.
inline std::string Console(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool pair = i + 1 < text.size() && ((c == '\n' && text[i + 1] == '\r') ||
                                              (c == '\r' && text[i + 1] == '\n'));
    if (pair || c == '\n') {
      out += "\r\n";
      if (pair) ++i;
    } else {
      out += c;
    }
  }
  return out;
}

// An 8-bit standard-output text: every "\n" becomes CR LF, "\r" stays.
inline std::string Stdout(const std::string& text) {
  std::string out;
  for (const char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

inline std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline std::string Format(const char* format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

// One progress cell, U+2588 in UTF-8.
inline const std::string kCell = "\xE2\x96\x88";

inline std::string Cells(int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += kCell;
  return out;
}

// Stands for the seconds of "Time Consuming" in expected texts; see
// HideSeconds.
inline const std::string kSecondsMark = "#";

// The output with the seconds of the first "Time Consuming: N sec." line
// replaced by kSecondsMark, so that a whole output compares byte for byte.
// Only a plain decimal number is replaced: anything else stays and shows
// up in the comparison.
inline std::string HideSeconds(const std::string& out) {
  const std::string head = "Time Consuming: ";
  const std::size_t at = out.find(head);
  if (at == std::string::npos) return out;
  std::size_t end = at + head.size();
  while (end < out.size() && out[end] >= '0' && out[end] <= '9') ++end;
  if (end == at + head.size() || out.compare(end, 5, " sec.") != 0) return out;
  return out.substr(0, at + head.size()) + kSecondsMark + out.substr(end);
}

inline const std::string kEarlyStop = Console("\n\n");
inline const std::string kIntelLine = Console("INTEL\n\n");
inline const std::string kAmdLine = Console("AMD\n\n");

inline std::string FwVersion(std::uint8_t high, std::uint8_t low) {
  return Console(Format("FW Version: %02X%02X", high, low));
}

inline std::string PdVersion(const std::array<std::uint8_t, 6>& v) {
  return Console(Format("\nPD Version : %02X%02X%02X%02X%02X%02X", v[0], v[1], v[2], v[3], v[4],
                        v[5]));
}

inline std::string ChipIdLine(std::uint8_t family, std::uint8_t model) {
  return Console(Format("Chip ID: OV%X%X\n", family, model));
}

inline std::string ImageLine(const std::string& name, std::size_t sizeBytes) {
  return Stdout(Format("\n\rFile: %s, Size: %d KBytes\n\n", name.c_str(),
                       static_cast<int>((sizeBytes + 1023) / 1024)));
}

inline const std::string kEraseLabel = Console("\nErase    : ");
inline const std::string kProgramLabel = Console("\n") + Console("\nProgram  : ");
inline const std::string kVerifyLabel = Console("\n\nVerify   : ");
// The signature step begins on a line of its own; its success is said after it.
inline const std::string kBeforeSignature = Console("\n\r\n\r");
inline const std::string kUpdateSuccess = Console("\n\r\n\rUpdate Success!\n");
inline const std::string kTimeLine = Console("Time Consuming: " + kSecondsMark + " sec.\n\n");
inline const std::string kProgramFail = Console("\n\rSPI_Program1K Fail!");
inline const std::string kVerifyFail = Console("\n\nVerify Fail!");
inline const std::string kSignatureFail = Console("SPI_Programsignature Fail!\n");
inline const std::string kFirmwareIncomplete =
    Console("\nPD FW Incomplete! Run VEXA again (with /force if Get_PD_ver fails) before powering the board off!!\n");
// The last lines of runs that leave the controller without its firmware
// running though the flash holds a whole image.
inline const std::string kHaltedWithNewImage =
    Console("\nPD Controller Halted! The flash holds the new image; power-cycle the board.\n");
inline const std::string kNotAnsweringWithNewImage =
    Console("\nPD Controller Does Not Answer! The flash holds the new image; power-cycle the board.\n");
inline const std::string kHaltedWithFlashUnchanged = Console(
    "\nPD Controller Halted! The flash is unchanged; run VEXA again (with /force if Get_PD_ver fails).\n");

// The flash read twice (/backup, /dump, /check): the first read under
// `label`, the second compared with it.
inline std::string ReadBars(const std::string& label) {
  return Console(label) + Cells(12) + Console("\n\nReread   : ") + Cells(12);
}
inline const std::string kReadLabel = "\nRead     : ";
inline const std::string kBackupLabel = "\nBackup   : ";
inline const std::string kFlashReadFail = Console("\n\nFlash Read Fail!\n\n");
inline const std::string kFlashNotRead = Console("\nFlash Not Read! The flash was not changed; mend the cause above, then run VEXA again.\n");
inline const std::string kBackupFail =
    Console("\n\rBackup Fail! Nothing was erased: the board keeps its firmware. Mend the cause above, then run VEXA "
            "again.\n");
inline std::string DumpLine(const std::string& name, unsigned flashKb) {
  return Stdout(Format("\n\rDump: %s, Flash: %u KBytes\n\n", name.c_str(), flashKb));
}
inline std::string DumpSuccess(const std::string& name, unsigned flashKb) {
  return Stdout(Format("\n\n\rDump Success! %s holds the %u KBytes of the flash.\n\n", name.c_str(), flashKb));
}
inline std::string BackupSaved(const std::string& name, std::size_t bytes) {
  return Stdout(Format("\n\n\rBackup Saved: %s, %zu KBytes\n", name.c_str(), bytes / 1024));
}
inline std::string CheckMatch(const std::string& image) {
  return Stdout(Format("\n\n\rCheck Match! The flash holds %s as an update leaves it.\n\n", image.c_str()));
}
inline std::string CheckDiffers(std::size_t first, std::uint8_t flash, std::uint8_t update, std::size_t count) {
  return Console(Format("\n\n\rCheck Differs! First difference at Index[%02zX] = %02X, Update Leaves %02X; %zu bytes "
                        "differ.\n\n",
                        first, flash, update, count));
}
inline std::string NotHeld(const std::string& image, const std::string& id) {
  return Stdout(Format("\nThe board does not hold %s: update it with VEXA %s /id %s (with /force if Get_PD_ver fails).\n", image.c_str(),
                       image.c_str(), id.c_str()));
}

// Messages of the transfer layer and the protocol.
inline std::string BlockWriteError(std::uint8_t first) {
  return Console(Format("I2C Block Write with Sending command byte error (%02X, %02X)!\n", first,
                        first));
}
inline const std::string kReadCommandFail = Console("I2CBlkDataRead -> I2cSentByte Fail!!(1)\n");
inline const std::string kGetPdVerFail = Console("Get_PD_ver I2CBlkDataRead Fail!!\n\n");
// The version query refused: a controller out of its firmware takes no
// command byte at its TCPI-mode address.
inline const std::string kVersionRefused = kReadCommandFail + kGetPdVerFail;
inline const std::string kShowPdVersionFail = Console("Get_PD_ver Fail!!\n\n");
inline const std::string kChipIdReadFail = Console("Get_chipID ->  I2CBlkDataReadFail!!\n\n");
inline const std::string kChipIdMismatch = Console("Chip ID Mismatch!!\n\n");
// The mismatch with the line that names the chip found and the one expected.
inline std::string ChipIdMismatch(std::uint16_t found, std::uint16_t expected) {
  return kChipIdMismatch +
         Console(Format("Chip ID found: OV%04X, expected: OV%04X (/id); check /id and the image.\n", found,
                        expected));
}
// What a silent first version query may mean, after its failure text.
inline std::string SilentController(std::uint8_t tcpi = 0x80, std::uint8_t slave = 0x80, unsigned channel = 0) {
  return Console(Format("No answer from the PD controller (version query at 0x%02X, /sa %02X) on I2C "
                        "channel %u: check /i2c and /sa.\n",
                        tcpi, slave, channel)) +
         Console("A PD controller without firmware (a new board, an update cut short) does not answer: "
                 "update it with /force (and /id).\n");
}
inline const std::string kFlashSizeError = Console("Get_chipID PD_FLash_Size error!!\n\n");

// The whole opening of a run up to and including the first version text.
struct Opening {
  std::string platformLine = kIntelLine;
  bool debug = false;
  std::string mmioLine;  // only with debug: the controller's address line
  std::uint8_t slave = 0x80;
  std::uint8_t channel = 0;
  std::uint16_t configPort = 0x2E;
  std::uint8_t tcpi = 0x80;  // as chosen from the expected chip ID
  std::uint8_t dummy = 0;
  std::array<std::uint8_t, 2> fwVersion{0x1A, 0x05};
  std::vector<std::uint8_t> image;  // only with debug: the image whose SHA-256 is shown

  // Banner, platform line and, with debug, the settings lines; the text
  // a failing first version query follows.
  std::string BeforeVersion() const {
    std::string out = kBanner + platformLine;
    if (!debug) return out;
    out += mmioLine;
    out += Console(Format("TCPI_Mode_addr = 0x%02X\n", tcpi));
    out += Console(Format("Slave Address = 0x%02X, Channel = 0x%02X, Cfg = 0x%02X\n", slave,
                          channel, configPort));
    out += Console(Format("TCPC Address = 0x%02X, Dummy = 0x%02X\n", tcpi, dummy));
    if (!image.empty()) {
      std::uint8_t digest[kSha256Bytes];
      Sha256Of(image.data(), image.size(), digest);
      char hex[kSha256HexDigits + 1];
      Sha256Hex(digest, hex);
      out += Stdout(std::string("Image SHA-256 = ") + hex + "\n");
    }
    out += Console("Get_PD_ver\n");
    return out;
  }
  std::string Text() const { return BeforeVersion() + FwVersion(fwVersion[0], fwVersion[1]); }
};

// The debug lines of Intel controller `channel` on the default board: its
// register address, then its device ID and the input clock, 100 MHz, the
// clock the tool's own timing values were made for.
inline std::string IntelMmioLine(unsigned channel) {
  const std::uint64_t bar = *sim::BoardConfig::DefaultIntelBars()[channel & 7];
  // The board's BARs are 64-bit memory BARs; the eight low bits are not
  // part of the address.
  const unsigned high = static_cast<unsigned>(bar >> 32);
  const unsigned low = static_cast<unsigned>(bar) & 0xFFFFFF00u;
  const unsigned deviceId = sim::FindLpssGeneration(sim::kDefaultLpss)->firstDeviceId + (channel & 7);
  return Stdout(Format("I2C%u MMIO Address = 0x%X%08X\n", channel, high, low)) +
         Stdout(Format("I2C%u Device ID = %04X, Input Clock = 100 MHz, Bus Rate = 390.6 kHz\n",
                       channel, deviceId));
}

// The chip ID of a 52 30, the default board's chip, as Preparation takes it.
inline constexpr std::array<std::uint8_t, 4> k5230{0x52, 0x30, 0x00, 0x00};

// The test-mode preparation from the end of the version text to the
// chip-ID line (and the debug line of Enter_Test_mode), for a chip whose
// first two ID bytes are the expected ones.
inline std::string Preparation(bool debug, const std::array<std::uint8_t, 4>& chip,
                               std::uint8_t tcpiAfterChip) {
  if (!debug) return Console(", ") + ChipIdLine(chip[0], chip[1]);
  return Console("\n") + Console("Exit_Test_mode\n") + Console("Stop_CPU\n") +
         Console("Get_chipID\n") +
         Console(Format("CMD Chip ID: OV%X%X, Parameter Chip ID: OV%X%X\n", chip[0], chip[1],
                        chip[0], chip[1])) +
         Console(Format("TCPI_Mode_addr = 0x%02X\n", tcpiAfterChip)) +
         ChipIdLine(chip[0], chip[1]) + Console("Enter_Test_mode\n");
}

// Erase, program and verify bars of a run that gets through all three.
inline std::string FlashBars() {
  return kEraseLabel + Cells(12) + kProgramLabel + Cells(12) + kVerifyLabel + Cells(12);
}

// From "Update Success!" to the final version text of a successful run
// (the closing "\n\n" not included).
inline std::string SuccessEnd(bool debug, const std::string& versionText) {
  std::string out = kUpdateSuccess;
  if (debug) out = kBeforeSignature + Console("Programming signature!\n") + Console("Update Success!\n");
  out += kTimeLine;
  if (debug) out += Console("Exit_Test_mode\n") + Console("WDT_Reset\n");
  return out + versionText;
}

inline std::string Repeat(const std::string& text, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += text;
  return out;
}

// ---------------------------------------------------------------------------
// Bus trace ("W 80: FF F8 00 00", "R 80: 52 30 00 00", "W 80: NACK")

inline std::string Hex2(unsigned value) { return Format("%02X", value & 0xFFu); }

inline std::string WriteLine(std::uint8_t address, const std::vector<std::uint8_t>& bytes) {
  std::string line = "W " + Hex2(address) + ":";
  for (const std::uint8_t b : bytes) {
    line += ' ';
    line += Hex2(b);
  }
  return line;
}

inline bool IsWrite(const std::string& line, std::uint8_t address) {
  return line.rfind("W " + Hex2(address) + ":", 0) == 0;
}
inline bool IsRead(const std::string& line, std::uint8_t address) {
  return line.rfind("R " + Hex2(address) + ":", 0) == 0;
}

// The write lines of a trace, without the erase-busy polls, whose number
// is the chip's business.
inline std::vector<std::string> WritesWithoutBusyPolls(const std::vector<std::string>& trace,
                                                       std::uint8_t slave) {
  const std::string busyPoll = WriteLine(slave, {0xFF, 0xFF});
  std::vector<std::string> writes;
  for (const std::string& line : trace) {
    if (line.rfind("W ", 0) == 0 && line != busyPoll) writes.push_back(line);
  }
  return writes;
}

// 1-based number of the transaction at trace line `index` among the write
// (or read) transactions to `address`, the way the chip counts them.
inline std::uint64_t TransactionNumber(const std::vector<std::string>& trace, std::size_t index,
                                       bool read, std::uint8_t address) {
  std::uint64_t n = 0;
  for (std::size_t i = 0; i <= index && i < trace.size(); ++i) {
    if (read ? IsRead(trace[i], address) : IsWrite(trace[i], address)) ++n;
  }
  return n;
}

// Index of the `occurrence`-th (1-based) line equal to `line`;
// trace.size() when there are fewer.
inline std::size_t FindNth(const std::vector<std::string>& trace, const std::string& line,
                           int occurrence) {
  int seen = 0;
  for (std::size_t i = 0; i < trace.size(); ++i) {
    if (trace[i] == line && ++seen == occurrence) return i;
  }
  return trace.size();
}

inline std::size_t CountLines(const std::vector<std::string>& trace, const std::string& line) {
  return static_cast<std::size_t>(std::count(trace.begin(), trace.end(), line));
}

// "" when both lists are equal, otherwise where they part.
inline std::string FirstDifference(const std::vector<std::string>& actual,
                                   const std::vector<std::string>& expected) {
  const std::size_t common = std::min(actual.size(), expected.size());
  for (std::size_t i = 0; i < common; ++i) {
    if (actual[i] != expected[i]) {
      return "line " + std::to_string(i) + ": got \"" + actual[i] + "\", expected \"" +
             expected[i] + "\"";
    }
  }
  if (actual.size() == expected.size()) return "";
  return "got " + std::to_string(actual.size()) + " lines, expected " +
         std::to_string(expected.size()) + "; first extra: \"" +
         (actual.size() > common ? actual[common] : expected[common]) + "\"";
}

// How the chip frames its flash bridge.
struct Geometry {
  std::array<std::uint8_t, 2> prefix{0xFF, 0xF7};
  unsigned addrBytes = 3;
  unsigned addrShift = 0;
};

enum class Watchdog { D0Eb, D3D1 };

// Everything that decides the write frames of a run that succeeds.
struct WritePlan {
  std::uint8_t slave = 0x80;
  std::uint8_t tcpi = 0x80;  // of both version queries
  std::uint8_t dummy = 0;
  Geometry geometry;
  const std::vector<std::uint8_t>* image = nullptr;  // the file as given; null: none
  Watchdog watchdog = Watchdog::D0Eb;
  std::uint8_t registerD3 = 0;  // what the chip answered to the read of 0xD3
  bool showPdVersion = false;
};

// Every write frame of a successful run, in order, with each write-enable
// and write-disable confirmed by the first status read.
inline std::vector<std::string> ExpectedWrites(const WritePlan& plan) {
  const std::uint8_t sa = plan.slave;
  const Geometry& g = plan.geometry;
  std::vector<std::string> w;
  auto frame = [&](std::vector<std::uint8_t> bytes) { w.push_back(WriteLine(sa, bytes)); };
  auto prefixed = [&](const std::uint8_t* data, std::size_t count) {
    std::vector<std::uint8_t> bytes(g.prefix.begin(), g.prefix.end());
    bytes.insert(bytes.end(), data, data + count);
    frame(bytes);
  };
  auto writeCtrl = [&](std::uint8_t mode) {
    frame({0xFF, 0xFE, mode, 0x01});
    frame({0xFF, 0xFE, 0x09, 0x01});
    prefixed(nullptr, 0);  // status read
  };
  auto address = [&](unsigned page, std::uint8_t offset) {
    std::vector<std::uint8_t> bytes{0xFF, 0xFA, offset, static_cast<std::uint8_t>(page & 0xFF)};
    if (g.addrBytes == 3) bytes.push_back(static_cast<std::uint8_t>((page >> 8) << g.addrShift));
    frame(bytes);
  };

  w.push_back(WriteLine(plan.tcpi, {0xB6}));
  frame({0xFF, 0xF8, 0x00, 0x00});
  frame({0xFE, 0x9C, 0x47});
  frame({plan.dummy, 0xFE, 0x9C, 0x47});
  frame({0xFF, 0xC0});
  frame({0xFF, 0xF8, 0x3B, 0xE1});

  if (plan.image != nullptr) {
    const std::vector<std::uint8_t>& file = *plan.image;
    const std::size_t blocks = (file.size() + 1023) / 1024;
    // What goes to the flash: the signature block blank, the last block
    // filled up with zeros.
    std::vector<std::uint8_t> data(file);
    data.resize(blocks * 1024, 0x00);
    std::fill(data.begin() + 0x40, data.begin() + 0x50, 0xFF);

    writeCtrl(0x04);
    frame({0xFF, 0xFE, 0x07, 0x01});
    writeCtrl(0x05);
    for (std::size_t page = 0; page < blocks * 4; ++page) {
      writeCtrl(0x04);
      address(static_cast<unsigned>(page), 0x00);
      frame({0xFF, 0xFE, 0x16, 0x01});
      prefixed(&data[page * 256], 128);
      prefixed(&data[page * 256 + 128], 128);
      writeCtrl(0x05);
    }
    for (std::size_t page = 0; page < blocks * 4; ++page) {
      for (const std::uint8_t half : {0x00, 0x80}) {
        address(static_cast<unsigned>(page), half);
        frame({0xFF, 0xFE, 0x13, 0x01});
        prefixed(nullptr, 0);  // data read
      }
    }
    writeCtrl(0x04);
    address(0, 0x40);
    frame({0xFF, 0xFE, 0x16, 0x01});
    prefixed(&file[0x40], 16);
    writeCtrl(0x05);
    address(0, 0x00);  // the signature read back
    frame({0xFF, 0xFE, 0x13, 0x01});
    prefixed(nullptr, 0);
  }

  frame({0xFF, 0xF8, 0x00, 0x00});
  if (plan.watchdog == Watchdog::D0Eb) {
    frame({0xFF, 0xD0, 0x02});
    frame({0xFF, 0xEB, 0x50});
  } else {
    frame({0xFF, 0xD3});  // register read
    frame({0xFF, 0xD3, static_cast<std::uint8_t>(plan.registerD3 | 0x10)});
    frame({0xFF, 0xD1, 0x01});
  }
  if (plan.showPdVersion) {
    for (const std::uint8_t command : {0xE4, 0xE3, 0xE2, 0xE1, 0xE0, 0xDD}) {
      w.push_back(WriteLine(plan.tcpi, {command}));
    }
  } else {
    w.push_back(WriteLine(plan.tcpi, {0xB6}));
  }
  return w;
}

// The byte the chip answered to the read of register 0xD3 (0 when there
// was none).
inline std::uint8_t RegisterD3Answer(const std::vector<std::string>& trace, std::uint8_t slave) {
  const std::size_t at = FindNth(trace, WriteLine(slave, {0xFF, 0xD3}), 1);
  if (at + 1 >= trace.size() || !IsRead(trace[at + 1], slave)) return 0;
  return static_cast<std::uint8_t>(std::stoul(trace[at + 1].substr(6, 2), nullptr, 16));
}

// ---------------------------------------------------------------------------
// Flash

// The flash after a successful update: the image as it is in the file
// (signature included), zeros to the end of its last 1 KB block, erased
// bytes beyond.
inline std::vector<std::uint8_t> FlashAfterUpdate(const std::vector<std::uint8_t>& image,
                                                  unsigned flashKb) {
  std::vector<std::uint8_t> flash(flashKb * 1024u, 0xFF);
  std::copy(image.begin(), image.end(), flash.begin());
  const std::size_t end = (image.size() + 1023) / 1024 * 1024;
  std::fill(flash.begin() + static_cast<std::ptrdiff_t>(image.size()),
            flash.begin() + static_cast<std::ptrdiff_t>(end), 0x00);
  return flash;
}

// What a /backup file holds: the flash without its trailing erased
// kilobytes, the first one always kept.
inline std::vector<std::uint8_t> BackupOf(const std::vector<std::uint8_t>& flash) {
  std::size_t kb = flash.size() / 1024;
  while (kb > 1 && std::all_of(flash.begin() + static_cast<std::ptrdiff_t>((kb - 1) * 1024),
                               flash.begin() + static_cast<std::ptrdiff_t>(kb * 1024),
                               [](std::uint8_t b) { return b == 0xFF; })) {
    --kb;
  }
  return {flash.begin(), flash.begin() + static_cast<std::ptrdiff_t>(kb * 1024)};
}

// "" when equal, otherwise the first differing offset.
inline std::string FlashDifference(const std::vector<std::uint8_t>& actual,
                                   const std::vector<std::uint8_t>& expected) {
  if (actual.size() != expected.size()) {
    return "flash holds " + std::to_string(actual.size()) + " bytes, expected " +
           std::to_string(expected.size());
  }
  const auto parted = std::mismatch(actual.begin(), actual.end(), expected.begin());
  if (parted.first == actual.end()) return "";
  return Format("offset 0x%zX: got %02X, expected %02X",
                static_cast<std::size_t>(parted.first - actual.begin()), *parted.first,
                *parted.second);
}

// ---------------------------------------------------------------------------
// Progress cells against the bus work, from the I/O trace

// For every progress cell of the program and verify bars: how many page
// program commands (FF FE 16 01) and how many read commands (FF FE 13 01)
// had gone to the controller's data register before the cell was printed.
struct CellPlaces {
  std::vector<unsigned> program;  // page program commands before each cell
  std::vector<unsigned> verify;   // read commands before each cell
};

// Reads the I/O trace of a run on the default Intel board (controller of
// channel 0) and rebuilds the write frames from the data-register writes.
inline CellPlaces ReadCellPlaces(const std::filesystem::path& ioTrace) {
  const std::uint64_t base = *sim::BoardConfig::DefaultIntelBars()[0] & ~0xFFull;
  const std::string dataCmdWrite = Format("mmio-w32 %016llX ",
                                          static_cast<unsigned long long>(base + 0x10));
  const std::string cellText = "text \"" + kCell + "\"";
  const std::string programLabel = "text \"\\r\\nProgram  : \"";
  const std::string verifyLabel = "text \"\\r\\n\\r\\nVerify   : \"";

  CellPlaces places;
  std::vector<unsigned>* bar = nullptr;
  unsigned pagePrograms = 0;
  unsigned reads = 0;
  std::vector<std::uint8_t> frame;
  std::ifstream stream(ioTrace);
  for (std::string line; std::getline(stream, line);) {
    if (line.compare(0, dataCmdWrite.size(), dataCmdWrite) == 0) {
      const unsigned value = static_cast<unsigned>(std::stoul(line.substr(dataCmdWrite.size()),
                                                              nullptr, 16));
      if ((value & 0x100u) != 0) continue;  // a read request
      frame.push_back(static_cast<std::uint8_t>(value));
      if ((value & 0x200u) == 0) continue;  // the frame goes on
      if (frame == std::vector<std::uint8_t>{0xFF, 0xFE, 0x16, 0x01}) ++pagePrograms;
      if (frame == std::vector<std::uint8_t>{0xFF, 0xFE, 0x13, 0x01}) ++reads;
      frame.clear();
    } else if (line == programLabel) {
      bar = &places.program;
    } else if (line == verifyLabel) {
      bar = &places.verify;
    } else if (line == cellText && bar != nullptr) {
      bar->push_back(bar == &places.program ? pagePrograms : reads);
    }
  }
  return places;
}

// After how many 1 KB blocks each of the 12 cells of a pass should come:
// one after every block b with b mod cellEvery = 0, the rest when the pass
// is done.
inline std::vector<unsigned> CellBlocks(unsigned sizeKb) {
  const unsigned every = (sizeKb + 11) / 12;
  std::vector<unsigned> blocks;
  for (unsigned b = 0; b < sizeKb; ++b) {
    if (b % every == 0) blocks.push_back(b + 1);
  }
  while (blocks.size() < 12) blocks.push_back(sizeKb);
  return blocks;
}

inline std::vector<unsigned> Scaled(std::vector<unsigned> values, unsigned factor) {
  for (unsigned& v : values) v *= factor;
  return values;
}

// The wall-clock readings of an I/O trace, in order.
inline std::vector<long long> ClockReadings(const std::filesystem::path& ioTrace) {
  std::vector<long long> readings;
  for (const std::string& line : LinesStartingWith(ReadLines(ioTrace), "clock ")) {
    readings.push_back(std::stoll(line.substr(6)));
  }
  return readings;
}

}  // namespace vexa_test::update
