// The SPI NOR flash behind the PD controller's flash bridge: erased cells
// read 0xFF, programming can only clear bits, a chip erase takes time and
// sets every cell back to 0xFF. The bridge keeps the flash selected over
// all data frames of one page program, so the write-enable latch is cleared
// only by a write disable or by the end of a chip erase.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

class SpiFlash {
 public:
  static constexpr std::size_t kPageSize = 256;
  static constexpr std::size_t kSectorSize = 4096;

  explicit SpiFlash(std::size_t sizeBytes);

  std::size_t size() const { return cells_.size(); }

  // Fills the flash from a file; a missing file leaves the cells as they
  // are (true). A file larger than the flash is an error; a smaller one is
  // padded with erased cells.
  bool LoadFile(const std::string& path, std::string& error);
  bool SaveFile(const std::string& path, std::string& error) const;

  // Completes an erase whose time has come. Every operation below that
  // takes the time calls it first.
  void Advance(std::uint64_t nowNs);
  bool EraseBusy(std::uint64_t nowNs);

  bool writeEnabled() const { return writeEnabled_; }
  // Refused (false) while an erase runs.
  bool WriteEnable(std::uint64_t nowNs);
  bool WriteDisable(std::uint64_t nowNs);
  // The latch drops whatever the flash is doing (the bridge was reset).
  void DropLatch() {
    if (!latchStuck_) writeEnabled_ = false;
  }
  // Fault: once set, the latch never clears again.
  void SetLatchStuck(bool stuck) { latchStuck_ = stuck; }

  // Needs the latch and an idle flash.
  bool StartChipErase(std::uint64_t nowNs, std::uint64_t durationNs);

  // The power goes: the latch drops, and a chip erase that was running
  // stops where it was. It works through the array one 4 KB sector after
  // the other in equal time, so the sectors whose time had passed are
  // erased and the others keep their content.
  void PowerLoss(std::uint64_t nowNs);

  // Page program of `count` bytes from `address` on: the address wraps
  // inside its 256-byte page as on a real part and is left just past the
  // last byte; cells only lose bits. Needs the latch and an idle flash.
  bool ProgramPage(std::uint64_t nowNs, std::uint32_t& address, const std::uint8_t* data, std::size_t count);

  // What a read of `address` returns (the address wraps at the flash end),
  // including cells that read back wrong.
  std::uint8_t Read(std::uint32_t address) const {
    const std::size_t at = address % cells_.size();
    return cells_[at] ^ readFlip_[at];
  }

  // Fault: the cell at `address` reads back with bit 0 inverted.
  void SetReadFlip(std::uint32_t address) { readFlip_[address % cells_.size()] = 0x01; }
  void ClearReadFlips() { std::fill(readFlip_.begin(), readFlip_.end(), std::uint8_t{0}); }

  // The stored cells, without read faults.
  const std::vector<std::uint8_t>& cells() const { return cells_; }
  std::vector<std::uint8_t>& cells() { return cells_; }

  unsigned erasesStarted() const { return erasesStarted_; }
  unsigned erasesCompleted() const { return erasesCompleted_; }

 private:
  std::vector<std::uint8_t> cells_;
  std::vector<std::uint8_t> readFlip_;
  bool writeEnabled_ = false;
  bool latchStuck_ = false;
  bool erasing_ = false;
  std::uint64_t eraseStartNs_ = 0;
  std::uint64_t eraseEndNs_ = 0;
  unsigned erasesStarted_ = 0;
  unsigned erasesCompleted_ = 0;
};

}  // namespace sim
