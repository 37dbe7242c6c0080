// The PD protocol tests' bench: a board whose controller is set up, a
// FrameDevice on its bus, and views of what the protocol layer did: the bus
// trace, the console, and the stalls the protocol itself made.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "i2c/controller.h"
#include "i2c/i2c_host.h"
#include "pd/chip_info.h"
#include "frame_device.h"
#include "platform/platform.h"
#include "support/board_fixture.h"

namespace pdtest {

inline const std::string kCell = "\xE2\x96\x88";  // U+2588 as the console gets it

inline std::string Cells(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += kCell;
  return text;
}

inline std::string Repeat(const std::string& text, int count) {
  std::string all;
  for (int i = 0; i < count; ++i) all += text;
  return all;
}

inline bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class PdBench {
 public:
  // `device` answers at the 8-bit address `address8`; the controller is set
  // up and, unless `target` is 0, `target` is made the I2C target the way the
  // update pass does before the protocol starts.
  explicit PdBench(std::uint8_t address8 = 0x80, std::uint8_t target = 0x80) {
    fixture.Attach(static_cast<std::uint8_t>(address8 >> 1), &device);
    up = fixture.BringUpController();
    if (target != 0) {
      EXPECT_TRUE(I2cSetSlaveAddress(target));
      fixture.Mark();
    }
  }

  void Geometry(std::uint8_t prefix0, std::uint8_t prefix1, std::uint32_t addrBytes,
                std::uint32_t addrShift) {
    gChipInfo.bridgePrefix[0] = prefix0;
    gChipInfo.bridgePrefix[1] = prefix1;
    gChipInfo.addrBytes = addrBytes;
    gChipInfo.addrShift = addrShift;
  }

  // Bus transactions, as the board traces them. Ends the board's run: call
  // once, after the operations under test. The last byte of a write may
  // still be on the wire when the tool returns (it waits only for the FIFO
  // to empty), so the bus is given time to finish it first.
  std::vector<std::string> Bus() {
    fixture.board().clock().AdvanceUs(1000);
    (void)fixture.board().MmioRead32(gI2cHost.base + vexa_test::reg::kStatus);
    return fixture.BusTrace();
  }

  std::string Console() { return fixture.Console(); }

  // The stalls the protocol layer made, in order. The transfer layer's own
  // pauses are left out: its 2, 10 and 30 us polling pauses and the 20 us
  // pause right after each read request.
  std::vector<std::uint32_t> ProtocolStalls() {
    std::vector<std::uint32_t> stalls;
    const std::vector<vexa_test::IoEvent> trace = fixture.Trace();
    const std::uint64_t dataCmd = gI2cHost.base + vexa_test::reg::kDataCmd;
    for (std::size_t i = 0; i < trace.size(); ++i) {
      if (trace[i].op != "stall") continue;
      const std::uint64_t us = trace[i].value;
      if (us == 2 || us == 10 || us == 30) continue;
      if (us == 20 && i > 0 && trace[i - 1].op == "mmio-w32" && trace[i - 1].address == dataCmd &&
          (trace[i - 1].value & 0x100) != 0) {
        continue;
      }
      stalls.push_back(static_cast<std::uint32_t>(us));
    }
    return stalls;
  }

  // The controller's current target, 8-bit form.
  std::uint8_t CurrentTarget() {
    const std::uint32_t tar = PlatformMmioRead32(gI2cHost.base + vexa_test::reg::kTar);
    return static_cast<std::uint8_t>((tar & 0x7F) << 1);
  }

  FrameDevice device;  // before the fixture: the board still talks to it when it ends
  vexa_test::BoardFixture fixture;
  bool up = false;
};

// ---- Scripts for the flash bridge ----

// The code of the last bridge command frame (FF FE code 01) in `log` other
// than the status read command; 0 when there is none.
inline std::uint8_t LastBridgeMode(const std::vector<Frame>& log) {
  for (auto it = log.rbegin(); it != log.rend(); ++it) {
    const Bytes& b = it->bytes;
    if (!it->read && b.size() == 4 && b[0] == 0xFF && b[1] == 0xFE && b[3] == 0x01 && b[2] != 0x09) {
      return b[2];
    }
  }
  return 0;
}

// The flash byte address of the last address frame (FF FA A0 A1 [A2]) in
// `log`, read as the chip of the test reads it: `shift` undoes the shift of
// the third byte.
inline std::uint32_t LastFlashAddress(const std::vector<Frame>& log, unsigned shift) {
  for (auto it = log.rbegin(); it != log.rend(); ++it) {
    const Bytes& b = it->bytes;
    if (!it->read && (b.size() == 4 || b.size() == 5) && b[0] == 0xFF && b[1] == 0xFA) {
      const std::uint32_t high = b.size() == 5 ? static_cast<std::uint32_t>(b[4] >> shift) : 0;
      return (high << 16) | (static_cast<std::uint32_t>(b[3]) << 8) | b[2];
    }
  }
  return 0;
}

// Answers of a bridge: status reads by the mode last commanded, each mode
// with its own sequence (the n-th status read in that mode, from 0), erase
// busy reads, and data reads by flash address.
struct BridgeScript {
  Bytes prefix = {0xFF, 0xF7};
  unsigned shift = 0;
  std::function<std::uint8_t(int n)> enableStatus = [](int) { return 0x82; };
  std::function<std::uint8_t(int n)> disableStatus = [](int) { return 0x80; };
  std::function<std::uint8_t(int n)> busy = [](int) { return 0x00; };
  std::function<std::uint8_t(std::uint32_t address)> data = [](std::uint32_t a) {
    return static_cast<std::uint8_t>(a * 7 + (a >> 8));
  };
};

inline void Play(FrameDevice& device, BridgeScript script) {
  auto enableReads = std::make_shared<int>(0);
  auto disableReads = std::make_shared<int>(0);
  auto busyReads = std::make_shared<int>(0);
  device.answer = [&device, script, enableReads, disableReads, busyReads](const Bytes& command,
                                                                          std::size_t index) {
    if (command == Bytes{0xFF, 0xFF}) return script.busy((*busyReads)++);
    if (command != script.prefix) return std::uint8_t{0xFF};
    const std::vector<Frame>& log = device.Log();
    switch (LastBridgeMode(log)) {
      case 0x04: return script.enableStatus((*enableReads)++);
      case 0x13: return script.data(LastFlashAddress(log, script.shift) + static_cast<std::uint32_t>(index));
      default: return script.disableStatus((*disableReads)++);
    }
  };
}

}  // namespace pdtest
