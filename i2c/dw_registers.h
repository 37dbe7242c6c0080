// The DesignWare I2C controller's registers, by the names its databook
// gives them, and under each the bits and fields the tool uses.
#pragma once

#include <stdint.h>

// Register offsets from gI2cHost.base.
enum DwI2cRegister : uint32_t {
  IC_CON = 0x00,
  IC_TAR = 0x04,
  IC_DATA_CMD = 0x10,
  IC_FS_SCL_HCNT = 0x1C,
  IC_FS_SCL_LCNT = 0x20,
  IC_INTR_MASK = 0x30,
  IC_RAW_INTR_STAT = 0x34,
  IC_RX_TL = 0x38,
  IC_TX_TL = 0x3C,
  IC_CLR_TX_ABRT = 0x54,
  IC_ENABLE = 0x6C,
  IC_STATUS = 0x70,
  IC_TXFLR = 0x74,
  IC_SDA_HOLD = 0x7C,
  IC_ENABLE_STATUS = 0x9C,
  IC_FS_SPKLEN = 0xA0,
  IC_COMP_TYPE = 0xFC,
  LPSS_RESETS = 0x204,  // Intel only
  LPSS_CAPABILITIES = 0x2FC,  // Intel only
};

namespace ic_con {
inline constexpr uint32_t kMasterMode = 1u << 0;
inline constexpr uint32_t kSpeedFast = 2u << 1;  // bits 2..1
inline constexpr uint32_t kRestartEnable = 1u << 5;
inline constexpr uint32_t kSlaveDisable = 1u << 6;
// Master only, fast mode, RESTART allowed, 7-bit addresses (bit 4 clear).
inline constexpr uint32_t kMasterFast7Bit = kMasterMode | kSpeedFast | kRestartEnable | kSlaveDisable;
static_assert(kMasterFast7Bit == 0x65, "IC_CON value of the set-up");
}  // namespace ic_con

namespace ic_tar {
inline constexpr uint32_t kTargetAddress = 0x3FF;  // bits 9..0
// Bits 12..0 hold the target, GC_OR_START, SPECIAL and 10-bit addressing;
// the set-up clears them all and keeps the rest.
inline constexpr uint32_t kKeptOnInit = 0xFFFFE000;
// A 7-bit target and the bit above it: what the current target is
// compared on.
inline constexpr uint32_t kComparedTarget = 0xFF;
}  // namespace ic_tar

namespace ic_data_cmd {
inline constexpr uint32_t kData = 0xFF;  // bits 7..0, a byte sent or received
inline constexpr uint32_t kRead = 1u << 8;
inline constexpr uint32_t kStop = 1u << 9;
inline constexpr uint32_t kRestart = 1u << 10;
}  // namespace ic_data_cmd

// IC_RAW_INTR_STAT and IC_INTR_MASK: one bit per interrupt.
namespace ic_intr {
inline constexpr uint32_t kRxFull = 1u << 2;
inline constexpr uint32_t kTxAbort = 1u << 6;
inline constexpr uint32_t kStopDetected = 1u << 9;
inline constexpr uint32_t kMasterOnHold = 1u << 13;
}  // namespace ic_intr

namespace ic_enable {
inline constexpr uint32_t kEnable = 1u << 0;
inline constexpr uint32_t kAbort = 1u << 1;  // reads 1 until the abort is done
}  // namespace ic_enable

namespace ic_enable_status {
inline constexpr uint32_t kEnabled = 1u << 0;  // IC_EN
}  // namespace ic_enable_status

namespace ic_status {
inline constexpr uint32_t kTxFifoNotFull = 1u << 1;
inline constexpr uint32_t kTxFifoEmpty = 1u << 2;
inline constexpr uint32_t kRxFifoNotEmpty = 1u << 3;
inline constexpr uint32_t kRxFifoFull = 1u << 4;
inline constexpr uint32_t kMasterActivity = 1u << 5;
}  // namespace ic_status

namespace ic_comp_type {
// "DW" and the component number of DW_apb_i2c.
inline constexpr uint32_t kDesignWareI2c = 0x44570140;
}  // namespace ic_comp_type

// Bits 1..0 are one field: 11 takes the block out of reset, 00 holds it;
// 01 and 10 are reserved.
namespace lpss_resets {
inline constexpr uint32_t kOutOfReset = 0x3;
}  // namespace lpss_resets

// Bits 7..4 say what the LPSS block is: 0 I2C, 1 UART, 2 SPI.
namespace lpss_capabilities {
inline constexpr uint32_t kBlockType = 0xF0;
inline constexpr uint32_t kBlockTypeI2c = 0x00;
}  // namespace lpss_capabilities
