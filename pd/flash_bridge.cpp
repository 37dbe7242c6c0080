#include "pd/flash_bridge.h"

#include "i2c/poll_bound.h"
#include "i2c/transfer.h"
#include "pd/chip_info.h"
#include "platform/console_text.h"
#include "platform/platform.h"
#include "platform/strings.h"

namespace {

// The bridge status, read at the data port after a ReadStatus command.
namespace bridge_status {
constexpr uint8_t kValid = 0x80;
constexpr uint8_t kWriteEnabled = 0x02;
}  // namespace bridge_status

// The erase state, read with FF FF.
namespace erase_state {
constexpr uint8_t kBusy = 0x10;
}  // namespace erase_state

// The write control: a first try and 100 more, about 2 ms in all.
constexpr PollBound kWriteControlWait = {101, 20};
static_assert(kWriteControlWait.StallUs() == 2'020);

// The erase busy poll: about four seconds, far more than a whole-chip erase
// needs. A poll is a stall and then a busy read, after the first read.
constexpr PollBound kEraseBusyWait = {2001, 2000};
static_assert(kEraseBusyWait.StallUs() == 4'002'000);

constexpr int kProgressCells = 12;
constexpr uint32_t kProgressCellUs = 100;

constexpr uint32_t kPageSize = 256;
constexpr uint32_t kPagesPerBlock = kFlashBlockSize / kPageSize;
constexpr uint32_t kDataFramesPerPage = kPageSize / kDataFrameBytes;
static_assert(kPageSize % kDataFrameBytes == 0);

constexpr uint8_t kEraseBusyRead[2] = {0xFF, 0xFF};

uint8_t ReadBridgeStatus() {
  uint8_t status = 0;
  I2cBlockRead(gChipInfo.slaveAddr, gChipInfo.bridgePrefix, 2, &status, 1);
  return status;
}

// The busy bit in `busy`; false when the chip did not answer the read.
bool ReadEraseBusy(bool& busy) {
  uint8_t state = 0;
  const bool answered = I2cBlockRead(gChipInfo.slaveAddr, kEraseBusyRead, 2, &state, 1);
  busy = (state & erase_state::kBusy) != 0;
  return answered;
}

// A read the chip did not answer tells nothing: the erase may still run.
bool EraseRunning() {
  bool busy = false;
  return !ReadEraseBusy(busy) || busy;
}

// Polls until an answered read shows the erase done, or the bound runs out
// (printed).
void WaitForErase() {
  for (uint32_t rounds = 0; EraseRunning();) {
    PlatformStall(kEraseBusyWait.stallUs);
    if (++rounds == kEraseBusyWait.polls) {
      ConsolePrint(u"SPI_CMD_CHIP_ERASE Fail!!");
      return;
    }
  }
}

// The tries of a write control, without the text of their failure: false
// with `failure` and `status` those of the last try.
bool TryWriteControl(SpiCommand mode, const char16_t*& failure, uint8_t& status) {
  const bool enable = mode == SpiCommand::WriteEnable;
  failure = u"Ctrl fail= %X \n";
  status = 0;
  for (uint32_t tries = 0; tries < kWriteControlWait.polls; ++tries) {
    SpiBridgeCommand(mode);
    SpiBridgeCommand(SpiCommand::ReadStatus);
    status = ReadBridgeStatus();
    const bool writeEnabled = (status & bridge_status::kWriteEnabled) != 0;
    if ((status & bridge_status::kValid) == 0) {
      failure = u"Ctrl fail= %X \n";
    } else if (enable) {
      if (writeEnabled) return true;
      failure = u"WRITE_ENABLE_Ctrl fail= %X \n";
    } else {
      if (!writeEnabled) return true;
      failure = u"WRITE_Disable_Ctrl fail= %X \n";
    }
    PlatformStall(kWriteControlWait.stallUs);
  }
  return false;
}

// The write enable of the erase. One refused while an erase runs (an
// earlier run's, cut off before it ended) is tried again once that erase
// is over; `found` tells whether one was running.
bool EnableForErase(bool& found) {
  found = false;
  const char16_t* failure = nullptr;
  uint8_t status = 0;
  if (TryWriteControl(SpiCommand::WriteEnable, failure, status)) return true;
  bool busy = false;
  found = ReadEraseBusy(busy) && busy;
  if (!found) {
    ConsolePrint(failure, status);
    return false;
  }
  WaitForErase();
  return SpiWriteControl(SpiCommand::WriteEnable);
}

uint16_t PageOf(uint16_t base, uint32_t index) { return static_cast<uint16_t>(base + index); }

}  // namespace

bool SpiBridgeCommand(SpiCommand command) {
  const uint8_t frame[4] = {0xFF, 0xFE, static_cast<uint8_t>(command), 0x01};
  return I2cBlockWrite(sizeof frame, frame);
}

bool SpiSetAddress(uint16_t page, uint8_t offset) {
  const uint8_t frame[5] = {
      0xFF,
      0xFA,
      offset,
      static_cast<uint8_t>(page & 0xFF),
      static_cast<uint8_t>(((page >> 8) << gChipInfo.addrShift) & 0xFF),
  };
  const uint8_t count = gChipInfo.addrBytes == 3 ? 5 : 4;
  return I2cBlockWrite(count, frame);
}

bool SpiWriteControl(SpiCommand mode) {
  const char16_t* failure = nullptr;
  uint8_t status = 0;
  if (TryWriteControl(mode, failure, status)) return true;
  ConsolePrint(failure, status);
  return false;
}

EraseResult SpiChipErase() {
  bool eraseFound = false;
  if (!EnableForErase(eraseFound)) {
    ConsolePrint(u"SPIWriteCtrl(Enable) Fail!!");
    return eraseFound ? EraseResult::Unconfirmed : EraseResult::NotStarted;
  }
  SpiBridgeCommand(SpiCommand::ChipErase);

  // The limit only ends the wait: the disable step's status check still
  // decides the outcome.
  WaitForErase();

  if (!SpiWriteControl(SpiCommand::WriteDisable)) {
    ConsolePrint(u"SPIWriteCtrl(Disable) Fail!!");
    return EraseResult::Unconfirmed;
  }
  for (int cell = 0; cell < kProgressCells; ++cell) {
    ConsolePrint(u"%c", 0x2588);
    PlatformStall(kProgressCellUs);
  }
  return EraseResult::Erased;
}

PageProgramResult SpiProgramPage(uint16_t page, uint8_t offset, const uint8_t* data, uint32_t count) {
  if (!SpiWriteControl(SpiCommand::WriteEnable)) return PageProgramResult::WriteEnableFailed;
  // The data frames program wherever the bridge points: never without the
  // address and the command that make it this page's.
  if (!SpiSetAddress(page, offset)) return PageProgramResult::AddressRefused;
  if (!SpiBridgeCommand(SpiCommand::PageProgram)) return PageProgramResult::CommandRefused;
  uint8_t frame[2 + kDataFrameBytes];
  frame[0] = gChipInfo.bridgePrefix[0];
  frame[1] = gChipInfo.bridgePrefix[1];
  for (uint32_t done = 0; done < count;) {
    const uint32_t left = count - done;
    const uint32_t bytes = left < kDataFrameBytes ? left : kDataFrameBytes;
    MemCopy(frame + 2, data + done, bytes);
    if (!I2cBlockWrite(static_cast<uint8_t>(2 + bytes), frame)) return PageProgramResult::DataRefused;
    done += bytes;
  }
  // The page program needs no busy poll: the disable step's status check
  // is the wait.
  if (!SpiWriteControl(SpiCommand::WriteDisable)) return PageProgramResult::WriteDisableFailed;
  return PageProgramResult::Done;
}

bool SpiProgramBlock(uint16_t base, const uint8_t* block) {
  for (uint32_t page = 0; page < kPagesPerBlock; ++page) {
    switch (SpiProgramPage(PageOf(base, page), 0, block + page * kPageSize, kPageSize)) {
      case PageProgramResult::Done: break;
      case PageProgramResult::WriteEnableFailed: return false;
      // Every frame of the page is a write of the I2C master; the address
      // and the command count as much as the data.
      case PageProgramResult::AddressRefused:
      case PageProgramResult::CommandRefused:
      case PageProgramResult::DataRefused:
        ConsolePrint(u" SPI_Program1K -> bI2cMasterWrite() Fail!!");
        return false;
      case PageProgramResult::WriteDisableFailed:
        ConsolePrint(u" SPI_Program1K -> SPIWriteCtrl(Disable) Fail!!");
        return false;
    }
  }
  return true;
}

bool SpiReadFrame(uint16_t page, uint8_t offset, uint8_t* piece) {
  MemFill(piece, 0x00, kDataFrameBytes);
  // Each transfer is made whatever the one before it came to.
  bool read = SpiSetAddress(page, offset);
  read = SpiBridgeCommand(SpiCommand::Read) && read;
  read = I2cBlockRead(gChipInfo.slaveAddr, gChipInfo.bridgePrefix, 2, piece, kDataFrameBytes) && read;
  return read;
}

uint8_t SpiReadBlock(uint16_t base, uint8_t* block) {
  uint8_t piece[kDataFrameBytes];
  uint8_t* destination = block;
  uint8_t failed = 0;
  for (uint32_t page = 0; page < kPagesPerBlock; ++page) {
    for (uint32_t half = 0; half < kDataFramesPerPage; ++half) {
      const uint32_t index = page * kDataFramesPerPage + half;
      if (!SpiReadFrame(PageOf(base, page), static_cast<uint8_t>(half * kDataFrameBytes), piece)) {
        failed = static_cast<uint8_t>(failed | (1u << index));
      }
      MemCopy(destination, piece, kDataFrameBytes);
      destination += kDataFrameBytes;
    }
  }
  return failed;
}
