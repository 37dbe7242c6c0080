// In-process harness for tests of the tool's hardware paths: a simulated
// board, a host session that captures the console and keeps the I/O trace,
// the run-wide records reset, and helpers to look at what the tool did on
// the ports, the registers and the bus.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/host/host_session.h"
#include "sim/board.h"
#include "sim/i2c_device.h"

namespace vexa_test {

// One line of the host I/O trace, split into its fields.
struct IoEvent {
  std::string op;        // "out32", "in16", "mmio-r32", "mmio-w8", "stall", "text", ...
  std::uint64_t address = 0;  // port or physical address; 0 for lines without one
  std::uint64_t value = 0;    // value written or read; microseconds for "stall"
  std::string line;           // the line as traced

  bool IsMmio() const { return op.rfind("mmio-", 0) == 0; }
  bool IsMmioWrite() const { return op.rfind("mmio-w", 0) == 0; }
};

// Splits one trace line ("mmio-w32 00000000FE010010 000000FF").
IoEvent ParseIoLine(const std::string& line);

// A device on the simulated bus that answers from a script and records
// every transaction it takes part in.
class ScriptedDevice : public sim::I2cDevice {
 public:
  struct Transaction {
    bool read = false;
    std::vector<std::uint8_t> bytes;
    bool stopped = false;  // ended by STOP rather than a repeated START
    bool nacked = false;   // the device refused the address or a byte
  };

  // Bytes handed out by reads, in order; 0xFF once they run out.
  std::deque<std::uint8_t> readData;
  // Refuse the address of every transaction.
  bool nackAddress = false;
  // Refuse the written byte with this index (counting every byte written to
  // the device since it was made, from 0); -1 = accept all.
  long nackWriteIndex = -1;
  // Clock stretching before the byte with this index (counting written and
  // read bytes together, from 0), in nanoseconds.
  std::map<std::size_t, std::uint64_t> stretchNsAt;

  std::vector<Transaction> transactions;

  // Bytes written and read so far (the index the next byte will get).
  std::size_t bytesSoFar() const { return bytes_; }

  bool Start(std::uint8_t address7, bool read) override;
  bool Write(std::uint8_t byte) override;
  std::uint8_t Read() override;
  void Stop() override;
  std::uint64_t StretchNs() override;

 private:
  std::size_t writes_ = 0;
  std::size_t bytes_ = 0;
  bool open_ = false;
};

class BoardFixture {
 public:
  // Without a busTracePath in `config` the fixture keeps the bus trace in a
  // temporary file of its own.
  explicit BoardFixture(sim::BoardConfig config = {});
  ~BoardFixture();
  BoardFixture(const BoardFixture&) = delete;
  BoardFixture& operator=(const BoardFixture&) = delete;

  sim::Board& board() { return *board_; }
  const sim::BoardConfig& config() const { return config_; }
  HostSession& session() { return session_; }

  // Puts `device` on the bus of the PD channel (or of `channel`).
  void Attach(std::uint8_t address7, sim::I2cDevice* device);
  void Attach(unsigned channel, std::uint8_t address7, sim::I2cDevice* device);

  // Locates the controller of the board's PD channel and sets it up, the way
  // a run does before it talks to the PD controller; then marks the trace
  // and the console so that a test sees only what follows. False (with the
  // console text in the test log) when either step fails.
  bool BringUpController();

  // ---- Console ----
  // Console text (UTF-8, line ends as the console gets them) since the last
  // Mark().
  std::string Console() const;

  // ---- I/O trace ----
  // Trace and console views start here from now on.
  void Mark();
  // Every trace line since the last Mark(). The reference stays valid until
  // the next call of a trace view or Mark().
  const std::vector<IoEvent>& Trace();
  // Only the lines with this operation ("stall", "mmio-w32", ...).
  std::vector<IoEvent> Trace(const std::string& op);
  // Every MMIO access to the register block of the located controller.
  std::vector<IoEvent> ControllerAccesses();
  // Every MMIO access of any kind.
  std::vector<IoEvent> MmioAccesses();
  // Values written to the controller register at `offset`, in order.
  std::vector<std::uint32_t> RegisterWrites(std::uint32_t offset);
  // How often the controller register at `offset` was read.
  std::size_t RegisterReads(std::uint32_t offset);
  // The lengths of the stalls, in order.
  std::vector<std::uint32_t> Stalls();

  // ---- Bus ----
  // Lets the bus run for 10 ms of board time, ends the board's run
  // (Board::Finish, once) and returns the bus trace lines ("W 80: FF C0").
  std::vector<std::string> BusTrace();

 private:
  sim::BoardConfig config_;
  bool ownBusTrace_ = false;
  bool finished_ = false;
  std::unique_ptr<sim::Board> board_;
  HostSession session_;
  std::string capture_;
  std::size_t consoleMark_ = 0;
  std::FILE* trace_ = nullptr;
  char* traceBuffer_ = nullptr;
  std::size_t traceSize_ = 0;
  std::size_t traceMark_ = 0;
  std::vector<IoEvent> parsed_;  // Trace() of [traceMark_, parsedSize_)
  std::size_t parsedMark_ = SIZE_MAX;
  std::size_t parsedSize_ = 0;
};

// Controller register offsets as the tests name them (the tool's own enum
// is not repeated so that a wrong value in it shows up).
namespace reg {
inline constexpr std::uint32_t kCon = 0x00;
inline constexpr std::uint32_t kTar = 0x04;
inline constexpr std::uint32_t kDataCmd = 0x10;
inline constexpr std::uint32_t kFsSclHcnt = 0x1C;
inline constexpr std::uint32_t kFsSclLcnt = 0x20;
inline constexpr std::uint32_t kIntrMask = 0x30;
inline constexpr std::uint32_t kRawIntrStat = 0x34;
inline constexpr std::uint32_t kRxTl = 0x38;
inline constexpr std::uint32_t kTxTl = 0x3C;
inline constexpr std::uint32_t kClrTxAbrt = 0x54;
inline constexpr std::uint32_t kEnable = 0x6C;
inline constexpr std::uint32_t kStatus = 0x70;
inline constexpr std::uint32_t kTxflr = 0x74;
inline constexpr std::uint32_t kSdaHold = 0x7C;
inline constexpr std::uint32_t kEnableStatus = 0x9C;
inline constexpr std::uint32_t kFsSpklen = 0xA0;
inline constexpr std::uint32_t kCompType = 0xFC;
inline constexpr std::uint32_t kLpssResets = 0x204;
}  // namespace reg

}  // namespace vexa_test
