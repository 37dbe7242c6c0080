#include "i2c/controller.h"

#include "platform/console_text.h"

namespace {

constexpr uint32_t kEnableBit = 0x01;        // IC_ENABLE, IC_ENABLE_STATUS
constexpr uint32_t kMasterActivity = 0x20;   // IC_STATUS
constexpr uint32_t kTargetMask = 0x3FF;      // IC_TAR bits 9..0
constexpr uint32_t kTarKeepOnInit = 0xFFFFE000;
constexpr uint32_t kConMasterFast7Bit = 0x65;  // master, fast mode, restart, slave off

// AMD FCH IOMUX entries of the I2C pins; function 1 routes them to the controller.
constexpr uint64_t kAmdPinFunctionBytes[2] = {0xFED80D71, 0xFED80D72};

struct TimingRow {
  DwI2cRegister reg;
  uint32_t intel;
  uint32_t amd;
};

// Fast mode for the controller input clock of each platform, in write order.
constexpr TimingRow kTiming[] = {
    {IC_FS_SCL_HCNT, 0x3F, 0x87},
    {IC_FS_SCL_LCNT, 0xB3, 0xF0},
    {IC_TX_TL, 0x3F, 0x3F},
    {IC_SDA_HOLD, 0x00200010, 0x48},
    {IC_FS_SPKLEN, 0x6, 0x6},
    {IC_RX_TL, 0x3F, 0x1},
    {IC_INTR_MASK, 0x2FFF, 0x244},
};

// Polls IC_ENABLE_STATUS until its enable bit reads `enabled`.
bool WaitEnableStatus(bool enabled) {
  const uint32_t wanted = enabled ? kEnableBit : 0;
  for (uint32_t i = 0; i < kI2cStatusPollLimit; ++i) {
    if ((I2cRead32(IC_ENABLE_STATUS) & kEnableBit) == wanted) return true;
  }
  return false;
}

bool WaitMasterIdle() {
  for (uint32_t i = 0; i < kI2cStatusPollLimit; ++i) {
    if ((I2cRead32(IC_STATUS) & kMasterActivity) == 0) return true;
  }
  return false;
}

void RouteAmdPinsToController() {
  for (const uint64_t address : kAmdPinFunctionBytes) {
    const uint8_t value = PlatformMmioRead8(address);
    PlatformMmioWrite8(address, static_cast<uint8_t>((value & ~0x02u) | 0x01u));
  }
}

void ReleaseIntelReset() {
  I2cWrite32(LPSS_RESETS, I2cRead32(LPSS_RESETS) | 0x01u);
}

}  // namespace

uint8_t I2cDisable() {
  I2cWrite32(IC_ENABLE, 0);
  if (!WaitEnableStatus(false)) {
    ConsolePrint(u"I2C Controller Disable Timeout!\n");
    return 1;
  }
  return 0;
}

uint8_t I2cEnable() {
  I2cWrite32(IC_ENABLE, kEnableBit);
  if (!WaitEnableStatus(true)) {
    ConsolePrint(u"I2C Controller Enable Timeout!\n");
    return 1;
  }
  return 0;
}

uint8_t I2cConfigureTiming() {
  if (I2cDisable() != 0) return 1;
  const PlatformKind kind = gI2cHost.kind;
  if (kind == PlatformKind::Intel || kind == PlatformKind::Amd) {
    for (const TimingRow& row : kTiming) {
      I2cWrite32(row.reg, kind == PlatformKind::Intel ? row.intel : row.amd);
    }
  }
  return I2cEnable();
}

uint8_t I2cInit() {
  if (gI2cHost.kind == PlatformKind::Amd) RouteAmdPinsToController();
  if (gI2cHost.kind == PlatformKind::Intel) ReleaseIntelReset();

  if (I2cDisable() != 0) return 1;
  I2cWrite32(IC_TAR, I2cRead32(IC_TAR) & kTarKeepOnInit);
  I2cWrite32(IC_INTR_MASK, 0);
  I2cWrite32(IC_RX_TL, 0);
  I2cWrite32(IC_TX_TL, 0);
  I2cWrite32(IC_TX_TL, 0x3F);
  I2cWrite32(IC_SDA_HOLD, 0x8);
  I2cWrite32(IC_CON, kConMasterFast7Bit);
  if (I2cConfigureTiming() != 0) return 1;
  if (I2cEnable() != 0) return 1;

  // The read itself clears an abort the firmware may have left pending.
  (void)I2cRead32(IC_CLR_TX_ABRT);
  if (!WaitMasterIdle()) {
    ConsolePrint(u"I2C Controller Master Activity Timeout!\n");
    return 1;
  }
  return I2cConfigureTiming();
}

uint8_t I2cSetSlaveAddress(uint8_t address) {
  const uint32_t target = address >> 1;
  if ((I2cRead32(IC_TAR) & 0xFFu) != target) {
    // IC_TAR only takes a write while the controller is disabled.
    if (I2cDisable() != 0) return 1;
    I2cWrite32(IC_TAR, (I2cRead32(IC_TAR) & ~kTargetMask) | target);
  }
  return I2cEnable();
}
