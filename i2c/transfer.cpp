#include "i2c/transfer.h"

#include "i2c/controller.h"
#include "i2c/dw_registers.h"
#include "i2c/poll_bound.h"
#include "platform/console_text.h"
#include "platform/platform.h"

namespace {

// An abort left pending is cleared, and looked at again, within 200 us.
constexpr PollBound kAbortClearWait = {100, 2};
static_assert(kAbortClearWait.StallUs() == 200, "100 x 2 us");
// Room in the transmit FIFO: 100 register reads without a stall, at least
// 30 us on a board.
constexpr PollBound kRoomWait = {100, 0};
// Stalls around the write of a byte to IC_DATA_CMD, and after a read command.
constexpr uint32_t kBeforeByteUs = 2;
constexpr uint32_t kAfterByteUs = 10;
constexpr uint32_t kAfterReadCommandUs = 20;
// A byte at 400 kHz takes about 25 us on the wire; its FIFO entry is
// given 200 us (Fast) or 600 us (Slow) after the 10 us that follow the write.
constexpr PollBound kCompletionFast = {20, 10};
constexpr PollBound kCompletionSlow = {20, 30};
static_assert(kCompletionFast.StallUs() == 200 && kCompletionSlow.StallUs() == 600, "20 x 10 us, 20 x 30 us");
// A late byte's FIFO is given 600 us more to drain, for the message only.
constexpr PollBound kDrainWait = {300, 2};
static_assert(kDrainWait.StallUs() == 600, "300 x 2 us");
// A received byte: 2 ms after the 20 us that follow its read command.
constexpr PollBound kReceiveWait = {1000, 2};
static_assert(kReceiveWait.StallUs() == 2000, "1000 x 2 us");
// The last byte and the STOP at 100 kHz take about 100 us, which leaves a
// device ten times that to stretch the clock.
constexpr PollBound kEndWait = {500, 2};
static_assert(kEndWait.StallUs() == 1000, "500 x 2 us");

// The index of a received byte is one byte wide.
constexpr uint16_t kMaxReadLength = 255;

bool TxAbortPending() { return (I2cRead32(IC_RAW_INTR_STAT) & ic_intr::kTxAbort) != 0; }

enum class PendingAbort : uint8_t { None, Cleared, Stuck };

PendingAbort ClearPendingAbort() {
  for (uint32_t check = 0; check < kAbortClearWait.polls; ++check) {
    if (!TxAbortPending()) return check == 0 ? PendingAbort::None : PendingAbort::Cleared;
    (void)I2cRead32(IC_CLR_TX_ABRT);
    PlatformStall(kAbortClearWait.stallUs);
  }
  return PendingAbort::Stuck;
}

// What became of a byte. Refused: the controller aborted the transfer (the
// device did not acknowledge this byte or the one before it) and has ended
// it on the bus.
enum class ByteOutcome : uint8_t { Sent, Refused, Failed };

// An empty transmit FIFO only says the last byte is in the shift register:
// the device's NACK of it, or of the address, comes later on the wire. How
// long after depends on nothing the tool controls, so the byte is judged
// once the master has finished the transfer (STOP sent, after an abort
// too). A master that never reports idle leaves the judgement to the abort
// bit as it stands; an abort later still is cleared by the next byte sent.
ByteOutcome JudgeLastByte() {
  (void)I2cWaitBit(IC_STATUS, ic_status::kMasterActivity, false, kEndWait);
  if (!TxAbortPending()) return ByteOutcome::Sent;
  (void)I2cRead32(IC_CLR_TX_ABRT);
  return ByteOutcome::Refused;
}

// laterByte: the byte continues a transfer whose first byte has been sent.
// An abort still pending then belongs to that transfer, which has already
// ended: the byte is not sent, for it would open a transfer of its own.
ByteOutcome SendByte(uint8_t data, ByteEnd end, PollPace pace, bool laterByte) {
  const PendingAbort pending = ClearPendingAbort();
  if (pending == PendingAbort::Stuck) {
    ConsolePrint(u"I2C Transmit Abort Error!\n");
    return ByteOutcome::Failed;
  }
  if (pending == PendingAbort::Cleared && laterByte) return ByteOutcome::Refused;
  if (!I2cWaitBit(IC_STATUS, ic_status::kTxFifoNotFull, true, kRoomWait)) {
    ConsolePrint(u"I2C Wait FIFO Empty Error!\n");
    return ByteOutcome::Failed;
  }
  PlatformStall(kBeforeByteUs);
  I2cWrite32(IC_DATA_CMD, data | (end == ByteEnd::Stop ? ic_data_cmd::kStop : 0u));
  PlatformStall(kAfterByteUs);

  const PollBound completion = pace == PollPace::Slow ? kCompletionSlow : kCompletionFast;
  for (uint32_t pass = 0; pass < completion.polls; ++pass) {
    if (TxAbortPending()) {
      (void)I2cRead32(IC_CLR_TX_ABRT);
      return ByteOutcome::Refused;
    }
    if (I2cRead32(IC_TXFLR) == 0) return end == ByteEnd::Stop ? JudgeLastByte() : ByteOutcome::Sent;
    PlatformStall(completion.stallUs);
  }

  ConsolePrint(u"I2C Sent Data Byte Timeout! Cmd = %02X\n", static_cast<unsigned>(data));
  // Even a FIFO that drains now leaves the byte late: the transfer has failed.
  if (!I2cWaitBit(IC_STATUS, ic_status::kTxFifoEmpty, true, kDrainWait)) {
    ConsolePrint(u"I2C Transmit FIFO Complete Empty Error!\n");
  }
  return ByteOutcome::Failed;
}

}  // namespace

bool I2cSendByte(uint8_t data, ByteEnd end, PollPace pace) {
  return SendByte(data, end, pace, false) == ByteOutcome::Sent;
}

bool I2cBlockRead(uint8_t slaveAddress, const uint8_t* commandBytes, uint8_t commandLength, uint8_t* buffer,
                  uint16_t readLength) {
  if (readLength > kMaxReadLength) {
    ConsolePrint(u"I2CBlkDataRead -> Read Length %d Over %d!!\n", static_cast<int>(readLength),
                 static_cast<int>(kMaxReadLength));
    return false;
  }

  for (uint8_t i = 0; i < commandLength; ++i) {
    const bool last = i + 1 == commandLength;
    if (!I2cSendByte(commandBytes[i], last ? ByteEnd::Stop : ByteEnd::More, PollPace::Slow)) {
      if (last) {
        ConsolePrint(u"I2CBlkDataRead -> I2cSentByte Fail!!(1)\n");
      } else {
        ConsolePrint(u"I2C Device Not Found or Error! Slave Address = %02X, Command = %02X ) !\n",
                     static_cast<unsigned>(slaveAddress), static_cast<unsigned>(commandBytes[0]));
      }
      return false;
    }
  }

  for (uint16_t j = 0; j < readLength; ++j) {
    // Nothing drains the receive FIFO here, so a full one never empties.
    if (!I2cWaitBit(IC_STATUS, ic_status::kRxFifoFull, false, kI2cStatusWait)) {
      ConsolePrint(u"I2C Receive FIFO Full Timeout!\n");
      return false;
    }
    uint32_t command = ic_data_cmd::kRead;
    if (j == 0) command |= ic_data_cmd::kRestart;
    if (j + 1 == readLength) command |= ic_data_cmd::kStop;
    I2cWrite32(IC_DATA_CMD, command);
    PlatformStall(kAfterReadCommandUs);

    if (!I2cWaitBit(IC_STATUS, ic_status::kRxFifoNotEmpty, true, kReceiveWait)) return false;
    buffer[j] = static_cast<uint8_t>(I2cRead32(IC_DATA_CMD) & ic_data_cmd::kData);
  }
  return true;
}

bool I2cBlockWrite(uint8_t count, const uint8_t* bytes) {
  if (count == 0) {
    ConsolePrint(u"I2CBlkDataWrite -> Nothing to Send!!\n");
    return false;
  }
  if ((I2cRead32(IC_STATUS) & ic_status::kTxFifoEmpty) == 0) {
    ConsolePrint(u"Transmit FIFO is NOT Empty !\n");
    return false;
  }
  // The first byte never ends the transfer, even when it is the only one.
  if (!I2cSendByte(bytes[0], ByteEnd::More, PollPace::Slow)) {
    ConsolePrint(u"I2C Block Write with Sending command byte error (%02X, %02X)!\n",
                 static_cast<unsigned>(bytes[0]), static_cast<unsigned>(bytes[0]));
    return false;
  }
  // A later byte that fails has printed why and the rest still goes out,
  // unless the device refused a byte: the controller has then ended the
  // transfer, and the bytes still to come would reach the device as a
  // transfer of their own, which it would take for a frame.
  for (uint8_t i = 1; i < count; ++i) {
    const ByteEnd end = i + 1 == count ? ByteEnd::Stop : ByteEnd::More;
    if (SendByte(bytes[i], end, PollPace::Fast, true) == ByteOutcome::Refused) return false;
  }
  return true;
}
