#include "sim/bus_trace.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace sim {

namespace {

void AppendHex(std::string& text, std::uint8_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  text.push_back(kDigits[value >> 4]);
  text.push_back(kDigits[value & 0xF]);
}

}  // namespace

void TraceLine::Begin(bool read, std::uint8_t address8) {
  text_.clear();
  text_.push_back(read ? 'R' : 'W');
  text_.push_back(' ');
  AppendHex(text_, address8);
  text_.push_back(':');
  open_ = true;
  nack_ = false;
}

void TraceLine::Byte(std::uint8_t value) {
  text_.push_back(' ');
  AppendHex(text_, value);
}

std::string TraceLine::Take() {
  if (nack_) text_ += " NACK";
  open_ = false;
  nack_ = false;
  return std::move(text_);
}

BusTrace::BusTrace(const std::string& path) {
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) {
    throw std::runtime_error("cannot create bus trace file " + path + ": " + std::strerror(errno));
  }
  // A whole update is some 10,000 lines; let the library batch them.
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
}

BusTrace::~BusTrace() { Close(); }

void BusTrace::WriteLine(const std::string& line) {
  if (file_ == nullptr) return;
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fputc('\n', file_);
}

void BusTrace::Close() {
  if (file_ == nullptr) return;
  std::fclose(file_);
  file_ = nullptr;
}

}  // namespace sim
