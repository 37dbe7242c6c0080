// A device on a simulated I2C bus, seen from the bus: it is told of every
// START/RESTART addressed to it, every byte written, every byte read and the
// STOP, in wire order, and acknowledges what it accepts.
#pragma once

#include <cstdint>

namespace sim {

class I2cDevice {
 public:
  virtual ~I2cDevice() = default;

  // START or repeated START with this device's 7-bit address. false = NACK
  // the address (the transaction then ends).
  virtual bool Start(std::uint8_t address7, bool read) = 0;

  // A byte from the master in a write transaction. false = NACK it.
  virtual bool Write(std::uint8_t byte) = 0;

  // The next byte of a read transaction.
  virtual std::uint8_t Read() = 0;

  // STOP. A repeated START without STOP ends the previous transaction by a
  // new Start call instead.
  virtual void Stop() = 0;

  // Clock stretching: extra nanoseconds the device holds SCL low before the
  // current byte completes. Asked once per byte, before Write or Read.
  virtual std::uint64_t StretchNs() { return 0; }
};

}  // namespace sim
