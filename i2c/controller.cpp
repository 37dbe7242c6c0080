#include "i2c/controller.h"

#include "i2c/amd_fch.h"
#include "i2c/dw_registers.h"
#include "platform/console_text.h"

namespace {

// IC_TX_TL on every platform; IC_SDA_HOLD until the platform's value
// below follows.
constexpr uint32_t kTxThreshold = 0x3F;
constexpr uint32_t kInitSdaHold = 0x8;

// Fixed register values of fast mode on each platform; the SCL counts come
// with gI2cHost for its input clock. IC_SDA_HOLD: receive hold in bits
// 23..16, transmit hold in bits 15..0, in input clock periods.
constexpr uint32_t kIntelSdaHold = 0x00200010;
constexpr uint32_t kAmdSdaHold = 0x48;
constexpr uint32_t kIntelRxThreshold = 0x3F;
constexpr uint32_t kAmdRxThreshold = 0x1;
// No interrupt is used, the bits only say what the controller would raise:
// on Intel every one but RESTART_DET (bit 12), on AMD these three.
constexpr uint32_t kIntelInterruptMask = 0x0FFF | ic_intr::kMasterOnHold;
constexpr uint32_t kAmdInterruptMask = ic_intr::kRxFull | ic_intr::kTxAbort | ic_intr::kStopDetected;
static_assert(kIntelInterruptMask == 0x2FFF && kAmdInterruptMask == 0x244, "IC_INTR_MASK values");

// Polls IC_ENABLE_STATUS until its enable bit reads `enabled`.
bool WaitEnableStatus(bool enabled) {
  return I2cWaitBit(IC_ENABLE_STATUS, ic_enable_status::kEnabled, enabled, kI2cStatusWait);
}

// An abort ends the byte on the wire and sends a STOP: tens of
// microseconds at 400 kHz, more while a device stretches the clock.
constexpr PollBound kAbortWait = {100, 10};
static_assert(kAbortWait.StallUs() == 1000, "100 x 10 us: 1 ms for an abort");
// Ten SCL periods at 400 kHz: the enable bit has to be in effect before
// the block takes an ABORT.
constexpr uint32_t kEnableSettleUs = 25;

// A master between the bytes of a transfer, its transmit FIFO empty, holds
// SCL low, and the block cannot be disabled until the transfer ends: only
// an ABORT (the block sends a STOP) ends it. The abort it reports is
// cleared here, for the FIFO stays flushed until it is. true when the
// controller held the bus.
bool EndHeldTransfer() {
  if ((I2cRead32(IC_RAW_INTR_STAT) & ic_intr::kMasterOnHold) == 0) return false;
  if ((I2cRead32(IC_ENABLE) & ic_enable::kEnable) == 0) {
    I2cWrite32(IC_ENABLE, ic_enable::kEnable);
    PlatformStall(kEnableSettleUs);
  }
  I2cWrite32(IC_ENABLE, ic_enable::kEnable | ic_enable::kAbort);
  for (uint32_t poll = 0; poll < kAbortWait.polls; ++poll) {
    PlatformStall(kAbortWait.stallUs);
    if ((I2cRead32(IC_ENABLE) & ic_enable::kAbort) == 0) {
      (void)I2cRead32(IC_CLR_TX_ABRT);
      return true;
    }
  }
  ConsolePrint(u"I2C Controller Abort Timeout (Bus Still Held)!\n");
  return true;
}

bool DisableController() {
  (void)EndHeldTransfer();
  I2cWrite32(IC_ENABLE, 0);
  if (WaitEnableStatus(false)) return true;
  // A byte still on the wire when the hold was looked at: once it ended,
  // the master held the bus.
  if (!EndHeldTransfer()) return false;
  I2cWrite32(IC_ENABLE, 0);
  return WaitEnableStatus(false);
}

void ReleaseIntelReset() {
  I2cWrite32(LPSS_RESETS, I2cRead32(LPSS_RESETS) | lpss_resets::kOutOfReset);
}

// A block that still does not disable is put through reset once: every
// register back at its reset value, the bus lines released.
bool ResetIntelBlock() {
  I2cWrite32(LPSS_RESETS, 0);
  ReleaseIntelReset();
  return DisableController();
}

// An LPSS block says in its capabilities register what it is; only an I2C
// block's reset register is ours to write.
bool IsLpssI2c() {
  const uint32_t capabilities = I2cRead32(LPSS_CAPABILITIES);
  if ((capabilities & lpss_capabilities::kBlockType) == lpss_capabilities::kBlockTypeI2c) return true;
  ConsolePrint(u"I2C%d Controller at 0x%X%08X Is Not an LPSS I2C Block (Capabilities = %08X)!!\n",
               static_cast<int>(gI2cHost.channel), static_cast<unsigned>(gI2cHost.base >> 32),
               static_cast<unsigned>(gI2cHost.base), static_cast<unsigned>(capabilities));
  return false;
}

// Whatever answers at the base must be a DesignWare I2C controller before
// anything is written to it: all ones is nothing at all, other values are
// other blocks.
bool IsDesignWareI2c() {
  const uint32_t type = I2cRead32(IC_COMP_TYPE);
  if (type == ic_comp_type::kDesignWareI2c) return true;
  ConsolePrint(u"I2C%d Controller at 0x%X%08X Is Not a DesignWare I2C (IC_COMP_TYPE = %08X)!!\n",
               static_cast<int>(gI2cHost.channel), static_cast<unsigned>(gI2cHost.base >> 32),
               static_cast<unsigned>(gI2cHost.base), static_cast<unsigned>(type));
  return false;
}

}  // namespace

bool I2cWaitBit(DwI2cRegister reg, uint32_t bit, bool set, PollBound bound) {
  for (uint32_t i = 0; i < bound.polls; ++i) {
    if (((I2cRead32(reg) & bit) != 0) == set) return true;
    if (bound.stallUs != 0) PlatformStall(bound.stallUs);
  }
  return false;
}

bool I2cDisable() {
  if (!DisableController()) {
    ConsolePrint(u"I2C Controller Disable Timeout!\n");
    return false;
  }
  return true;
}

bool I2cEnable() {
  I2cWrite32(IC_ENABLE, ic_enable::kEnable);
  if (!WaitEnableStatus(true)) {
    ConsolePrint(u"I2C Controller Enable Timeout!\n");
    return false;
  }
  return true;
}

bool I2cConfigureTiming() {
  if (!I2cDisable()) return false;
  const PlatformKind kind = gI2cHost.kind;
  if (kind == PlatformKind::Intel || kind == PlatformKind::Amd) {
    const bool intel = kind == PlatformKind::Intel;
    const FastModeCounts& counts = gI2cHost.counts;
    I2cWrite32(IC_FS_SCL_HCNT, counts.hcnt);
    I2cWrite32(IC_FS_SCL_LCNT, counts.lcnt);
    I2cWrite32(IC_TX_TL, kTxThreshold);
    I2cWrite32(IC_SDA_HOLD, intel ? kIntelSdaHold : kAmdSdaHold);
    I2cWrite32(IC_FS_SPKLEN, counts.spklen);
    I2cWrite32(IC_RX_TL, intel ? kIntelRxThreshold : kAmdRxThreshold);
    I2cWrite32(IC_INTR_MASK, intel ? kIntelInterruptMask : kAmdInterruptMask);
  }
  return I2cEnable();
}

bool I2cInit() {
  const PlatformKind kind = gI2cHost.kind;
  // Intel's block answers only once out of reset; on AMD the pins are
  // left alone unless a controller is there to take them.
  if (kind == PlatformKind::Intel) {
    if (!IsLpssI2c()) return false;
    ReleaseIntelReset();
  }
  if ((kind == PlatformKind::Intel || kind == PlatformKind::Amd) && !IsDesignWareI2c()) return false;
  if (kind == PlatformKind::Amd) AmdRouteI2cPins(gI2cHost.channel);

  // Nothing is set up yet, so on Intel a reset loses nothing.
  if (!DisableController() && !(kind == PlatformKind::Intel && ResetIntelBlock())) {
    ConsolePrint(u"I2C Controller Disable Timeout!\n");
    return false;
  }
  I2cWrite32(IC_TAR, I2cRead32(IC_TAR) & ic_tar::kKeptOnInit);
  I2cWrite32(IC_INTR_MASK, 0);
  I2cWrite32(IC_RX_TL, 0);
  I2cWrite32(IC_TX_TL, 0);
  I2cWrite32(IC_TX_TL, kTxThreshold);
  I2cWrite32(IC_SDA_HOLD, kInitSdaHold);
  I2cWrite32(IC_CON, ic_con::kMasterFast7Bit);
  if (!I2cConfigureTiming()) return false;
  if (!I2cEnable()) return false;

  // The read itself clears an abort the firmware may have left pending.
  (void)I2cRead32(IC_CLR_TX_ABRT);
  if (!I2cWaitBit(IC_STATUS, ic_status::kMasterActivity, false, kI2cStatusWait)) {
    ConsolePrint(u"I2C Controller Master Activity Timeout!\n");
    return false;
  }
  if (!I2cConfigureTiming()) return false;
  gI2cHost.ready = true;
  return true;
}

void I2cReleaseBus() {
  if (!gI2cHost.ready) return;
  // The last byte may still be on the wire: it ends either with a STOP
  // (the master goes idle) or with the master holding the bus. Each pass
  // reads two registers at least, so the bound is at least 60 ms on a board.
  for (uint32_t i = 0; i < kI2cStatusPollLimit; ++i) {
    if (EndHeldTransfer() || (I2cRead32(IC_STATUS) & ic_status::kMasterActivity) == 0) return;
  }
}

bool I2cSetSlaveAddress(uint8_t address) {
  const uint32_t target = address >> 1;
  if ((I2cRead32(IC_TAR) & ic_tar::kComparedTarget) != target) {
    // IC_TAR only takes a write while the controller is disabled.
    if (!I2cDisable()) return false;
    I2cWrite32(IC_TAR, (I2cRead32(IC_TAR) & ~ic_tar::kTargetAddress) | target);
  }
  return I2cEnable();
}
