// The bus trace file: one line per I2C transaction, written as each one ends.
//   W 80: FF F8 00 00      write to 8-bit address 0x80, four bytes
//   R 80: 52 30 00 00      read from it
//   W 80: NACK             the address was not acknowledged
//   W 80: FF 12 NACK       the device refused the byte 0x12
//   ! 16-bit read at 074 refused: 32-bit accesses only
//                          the host accessed a controller register with a
//                          width the block does not take
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace sim {

// One transaction's line while it is on the bus.
class TraceLine {
 public:
  void Begin(bool read, std::uint8_t address8);
  void Byte(std::uint8_t value);
  void MarkNack() { nack_ = true; }
  bool open() const { return open_; }
  // The finished line without its line end; the line is closed afterwards.
  std::string Take();

 private:
  std::string text_;
  bool open_ = false;
  bool nack_ = false;
};

class BusTrace {
 public:
  // Throws std::runtime_error when the file cannot be created.
  explicit BusTrace(const std::string& path);
  ~BusTrace();
  BusTrace(const BusTrace&) = delete;
  BusTrace& operator=(const BusTrace&) = delete;

  void WriteLine(const std::string& line);
  // Flushes and closes; later lines are dropped.
  void Close();

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace sim
