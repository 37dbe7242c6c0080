// A PD controller stand-in whose every answer the test chooses: reads are
// answered by a function of the frame written just before them, an address
// can be refused for a transaction picked by what came before it, and a read
// byte can be held back long enough for the host to give up on it. The bus
// trace shows what reached it; its own log serves the scripts' decisions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "sim/i2c_device.h"

namespace pdtest {

using Bytes = std::vector<std::uint8_t>;

struct Frame {
  bool read = false;
  Bytes bytes;
  bool refused = false;
};

class FrameDevice : public sim::I2cDevice {
 public:
  // Byte `index` of a read; `command` is the write just before it (empty
  // when a read came before). Unset: 0xFF.
  std::function<std::uint8_t(const Bytes& command, std::size_t index)> answer;

  // Refuse the address of the transaction about to start; `history` holds
  // the transactions before it.
  std::function<bool(const std::vector<Frame>& history, bool read)> refuse;

  // Nanoseconds to hold the clock before byte `index` of a read.
  std::function<std::uint64_t(const std::vector<Frame>& history, std::size_t index)> holdRead;

  bool Start(std::uint8_t, bool read) override {
    Close();
    const bool refused = refuse && refuse(log_, read);
    log_.push_back(Frame{read, {}, refused});
    open_ = !refused;
    return !refused;
  }

  bool Write(std::uint8_t byte) override {
    if (open_) log_.back().bytes.push_back(byte);
    return true;
  }

  std::uint8_t Read() override {
    if (!open_) return 0xFF;
    Frame& current = log_.back();
    const Frame* before = log_.size() >= 2 ? &log_[log_.size() - 2] : nullptr;
    const Bytes command = before != nullptr && !before->read ? before->bytes : Bytes{};
    const std::uint8_t byte = answer ? answer(command, current.bytes.size()) : 0xFF;
    current.bytes.push_back(byte);
    return byte;
  }

  void Stop() override { Close(); }

  std::uint64_t StretchNs() override {
    if (!open_ || !log_.back().read || !holdRead) return 0;
    const std::vector<Frame> history(log_.begin(), log_.end() - 1);
    return holdRead(history, log_.back().bytes.size());
  }

  const std::vector<Frame>& Log() const { return log_; }

 private:
  void Close() { open_ = false; }

  std::vector<Frame> log_;
  bool open_ = false;
};

// How many frames in `history` are exactly `bytes` written.
inline std::size_t CountWrites(const std::vector<Frame>& history, const Bytes& bytes) {
  std::size_t count = 0;
  for (const Frame& f : history) {
    if (!f.read && !f.refused && f.bytes == bytes) ++count;
  }
  return count;
}

}  // namespace pdtest
