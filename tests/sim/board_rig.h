// Register-level harness for the simulated board's controllers: a logging
// device and a rig that drives one controller the way a driver would.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/amd_pins.h"
#include "sim/board.h"
#include "sim/dw_i2c_controller.h"

namespace simtest {

// Logs what the bus tells it: "S W" / "S R" (START or repeated START),
// "W FF" (a byte written to it), "R 52" (a byte read from it), "P" (STOP).
class LoggingDevice : public sim::I2cDevice {
 public:
  bool ackAddress = true;
  int nackWriteIndex = -1;  // the n-th byte written (from 0) is refused
  std::vector<std::uint8_t> readData;
  std::uint64_t stretchNs = 0;
  std::vector<std::string> log;
  int writes = 0;
  std::size_t reads = 0;

  bool Start(std::uint8_t, bool read) override {
    log.push_back(read ? "S R" : "S W");
    return ackAddress;
  }
  bool Write(std::uint8_t byte) override {
    log.push_back("W " + Hex(byte));
    return writes++ != nackWriteIndex;
  }
  std::uint8_t Read() override {
    const std::uint8_t value = reads < readData.size() ? readData[reads] : 0xFF;
    ++reads;
    log.push_back("R " + Hex(value));
    return value;
  }
  void Stop() override { log.push_back("P"); }
  std::uint64_t StretchNs() override { return stretchNs; }

  static std::string Hex(std::uint8_t value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
  }
};

inline std::uint64_t ChannelBase(const sim::BoardConfig& config, unsigned channel) {
  if (config.platform == sim::PlatformType::Amd) {
    static constexpr std::uint64_t kBases[] = {0xFEDC2000, 0xFEDC3000, 0xFEDC4000,
                                               0xFEDC5000, 0xFEDC6000, 0xFEDCB000};
    return kBases[channel];
  }
  return config.intelBar0[channel].value_or(0) & ~0xFFFull;
}

class Rig {
 public:
  explicit Rig(const sim::BoardConfig& config = {}, unsigned channel = 0)
      : config_(config), board(config), base(ChannelBase(config, channel)), channel_(channel) {}

  sim::DwI2cController& controller() { return *board.Controller(channel_); }

  std::uint32_t Read(std::uint32_t offset) { return board.MmioRead32(base + offset); }
  std::uint16_t Read16(std::uint32_t offset) { return board.MmioRead16(base + offset); }
  void Write(std::uint32_t offset, std::uint32_t value) { board.MmioWrite32(base + offset, value); }
  void Stall(std::uint64_t us) { board.clock().AdvanceUs(us); }
  std::uint64_t Now() { return board.clock().NowNs(); }

  // Polls `offset` 1 us apart until (value & mask) == want; false when
  // `limitUs` went by first.
  bool WaitFor(std::uint32_t offset, std::uint32_t mask, std::uint32_t want,
               std::uint64_t limitUs = 100000) {
    const std::uint64_t end = Now() + limitUs * 1000;
    while (Now() < end) {
      if ((Read(offset) & mask) == want) return true;
      Stall(1);
    }
    return false;
  }

  bool WaitIdle(std::uint64_t limitUs = 100000) {
    return WaitFor(sim::dw::kStatus, sim::dw::kStatusMasterActivity, 0, limitUs);
  }

  bool SetEnabled(bool on) {
    Write(sim::dw::kEnable, on ? 1 : 0);
    return WaitFor(sim::dw::kEnableStatus, 1, on ? 1 : 0, 1000);
  }

  void RouteAmdPads() {
    for (const std::uint64_t pad : {0xFED80D71ull, 0xFED80D72ull}) {
      board.MmioWrite8(pad, static_cast<std::uint8_t>((board.MmioRead8(pad) & ~2u) | 1u));
    }
  }

  // Master, fast mode, 7-bit addressing (IC_TAR = `tar`), with the timing
  // the tool programs for the platform; true once enabled.
  bool BringUp(std::uint32_t tar, std::uint32_t con = 0x65) {
    using namespace sim::dw;
    const bool amd = config_.platform == sim::PlatformType::Amd;
    if (amd) {
      RouteAmdPads();
    } else {
      Write(kLpssResets, Read(kLpssResets) | kLpssOutOfReset);
    }
    if (!SetEnabled(false)) return false;
    Write(kTar, tar);
    Write(kCon, con);
    Write(kFsSclHcnt, amd ? 0x87 : 0x3F);
    Write(kFsSclLcnt, amd ? 0xF0 : 0xB3);
    Write(kSdaHold, amd ? 0x48 : 0x00200010);
    Write(kFsSpklen, 6);
    Write(kRxTl, amd ? 1 : 0x3F);
    Write(kTxTl, 0x3F);
    Write(kIntrMask, 0);
    return SetEnabled(true);
  }

  // Queues one command and waits, 10 us apart, until it left the TX FIFO
  // or an abort came; true when it left.
  bool SendCommand(std::uint32_t command) {
    using namespace sim::dw;
    Write(kDataCmd, command);
    for (int pass = 0; pass < 100; ++pass) {
      Stall(10);
      if ((Read(kRawIntrStat) & kIntrTxAbrt) != 0) return false;
      if (Read(kTxflr) == 0) return true;
    }
    return false;
  }

  // Reads one byte with `command`: waits for RFNE, 2 us apart.
  int ReadByte(std::uint32_t command) {
    using namespace sim::dw;
    Write(kDataCmd, command);
    if (!WaitFor(kStatus, kStatusRfne, kStatusRfne, 1000)) return -1;
    return static_cast<int>(Read(kDataCmd) & 0xFF);
  }

 private:
  sim::BoardConfig config_;

 public:
  sim::Board board;
  const std::uint64_t base;

 private:
  unsigned channel_;
};

inline sim::BoardConfig AmdConfig() {
  sim::BoardConfig config;
  config.platform = sim::PlatformType::Amd;
  return config;
}

// The lines of a text file.
inline std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return lines;
  std::string line;
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line.push_back(static_cast<char>(c));
    }
  }
  if (!line.empty()) lines.push_back(line);
  std::fclose(file);
  return lines;
}

}  // namespace simtest
