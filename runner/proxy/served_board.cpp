#include "runner/proxy/served_board.h"

#include <chrono>
#include <cinttypes>

#include "sim/board.h"
#include "sim/pci_config.h"

namespace proxy {

namespace {

constexpr std::uint32_t kBarsBegin = 0x10;
constexpr std::uint32_t kBarsEnd = 0x28;  // six BARs
constexpr std::uint32_t kWindowSize = 0x1000;
// Configuration space of a conventional PCI function.
constexpr std::uint32_t kConfigSize = 0x100;

std::uint32_t LpssAddress(unsigned function, std::uint32_t offset) {
  return sim::PciConfigSpace::Address(0, 21, function, offset & ~3u);
}

}  // namespace

ServedBoard::ServedBoard(sim::Board& board, std::FILE* ioTrace)
    : board_(board), ioTrace_(ioTrace), startNs_(HostNs()) {
  lastRegisterAccessNs_ = startNs_;
}

std::uint64_t ServedBoard::HostNs() const {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

bool ServedBoard::Serve(unsigned function, std::string& error) {
  const sim::PciConfigSpace::Header* header = function < kFunctions ? board_.Pci().Function(0, 21, function) : nullptr;
  if (header == nullptr) {
    error = "the board has no I2C function 0:21." + std::to_string(function) + " to serve (see --lpss)";
    return false;
  }
  std::uint64_t bar = 0;
  for (unsigned i = 0; i < 8; ++i) bar |= static_cast<std::uint64_t>((*header)[kBarsBegin + i]) << (8 * i);
  // Only a 64-bit BAR has its upper half in the next register.
  if ((bar & 0x6) != 0x4) bar &= 0xFFFFFFFFu;
  functions_[function].served = true;
  functions_[function].windowBase = bar & ~static_cast<std::uint64_t>(kWindowSize - 1);
  return true;
}

void ServedBoard::FollowHostClock() {
  const std::uint64_t elapsed = HostNs() - startNs_;
  const std::uint64_t now = board_.clock().NowNs();
  if (elapsed > now) board_.Wait(elapsed - now);
}

void ServedBoard::BeforeRegisterAccess() {
  const std::uint64_t host = HostNs();
  sim::PdController* pd = board_.Pd();
  if (pd != nullptr && !pd->powered() && host - lastRegisterAccessNs_ >= kPowerReturnNs) {
    pd->PowerOn();
    if (ioTrace_ != nullptr) std::fputs("power-on\n", ioTrace_);
  }
  lastRegisterAccessNs_ = host;
}

std::uint32_t ServedBoard::ConfigRead(unsigned function, std::uint32_t offset, unsigned length) {
  if (offset >= kConfigSize) return 0;
  const Function& served = functions_[function];
  board_.PortWrite32(sim::PciConfigSpace::kAddressPort, LpssAddress(function, offset));
  const std::uint32_t dword = board_.PortRead32(sim::PciConfigSpace::kDataPort);
  std::uint32_t value = 0;
  for (unsigned i = 0; i < length; ++i) {
    const std::uint32_t at = offset + i;
    std::uint8_t byte = static_cast<std::uint8_t>(dword >> (8 * (at & 3)));
    if (at >= kBarsBegin && at < kBarsEnd) {
      byte = at < kBarsBegin + 4 ? static_cast<std::uint8_t>(served.bar0 >> (8 * (at - kBarsBegin))) : 0;
    }
    value |= static_cast<std::uint32_t>(byte) << (8 * i);
  }
  return value;
}

// A narrow write reaches the board as the whole register with the other
// bytes as they read; the board's write-one-to-clear bits (status errors,
// PME_Status) are never set where firmware writes narrowly.
void ServedBoard::ConfigWrite(unsigned function, std::uint32_t offset, unsigned length, std::uint32_t value) {
  if (offset >= kConfigSize) return;
  Function& served = functions_[function];
  if (offset >= kBarsBegin && offset < kBarsEnd) {
    for (unsigned i = 0; i < length; ++i) {
      const std::uint32_t at = offset + i;
      if (at >= kBarsBegin + 4) continue;  // BARs 1-5 are absent
      const unsigned shift = 8 * (at - kBarsBegin);
      served.bar0 = (served.bar0 & ~(0xFFu << shift)) | (((value >> (8 * i)) & 0xFFu) << shift);
    }
    served.bar0 &= ~(kWindowSize - 1);
    return;
  }
  const std::uint32_t address = LpssAddress(function, offset);
  std::uint32_t dword = value;
  if (length != 4) {
    board_.PortWrite32(sim::PciConfigSpace::kAddressPort, address);
    dword = board_.PortRead32(sim::PciConfigSpace::kDataPort);
    const unsigned shift = 8 * (offset & 3);
    const std::uint32_t mask = (length == 1 ? 0xFFu : 0xFFFFu) << shift;
    dword = (dword & ~mask) | ((value << shift) & mask);
  }
  board_.PortWrite32(sim::PciConfigSpace::kAddressPort, address);
  board_.PortWrite32(sim::PciConfigSpace::kDataPort, dword);
}

std::uint64_t ServedBoard::BarRead(const Function& served, std::uint64_t address, unsigned size) {
  const std::uint64_t offset = address - served.bar0;
  const std::uint64_t at = offset < kWindowSize ? served.windowBase + offset : address;
  switch (size) {
    case 1:
      return board_.MmioRead8(at);
    case 2:
      return board_.MmioRead16(at);
    case 4:
      return board_.MmioRead32(at);
    default:
      return board_.MmioRead32(at) | static_cast<std::uint64_t>(board_.MmioRead32(at + 4)) << 32;
  }
}

void ServedBoard::BarWrite(const Function& served, std::uint64_t address, unsigned size, std::uint64_t value) {
  const std::uint64_t offset = address - served.bar0;
  const std::uint64_t at = offset < kWindowSize ? served.windowBase + offset : address;
  switch (size) {
    case 1:
      board_.MmioWrite8(at, static_cast<std::uint8_t>(value));
      break;
    case 2:
      board_.MmioWrite8(at, static_cast<std::uint8_t>(value));
      board_.MmioWrite8(at + 1, static_cast<std::uint8_t>(value >> 8));
      break;
    case 4:
      board_.MmioWrite32(at, static_cast<std::uint32_t>(value));
      break;
    default:
      board_.MmioWrite32(at, static_cast<std::uint32_t>(value));
      board_.MmioWrite32(at + 4, static_cast<std::uint32_t>(value >> 32));
      break;
  }
}

ServedBoard::Outcome ServedBoard::Handle(unsigned function, const Message& message, std::uint64_t& value,
                                         std::string& error) {
  value = 0;
  switch (message.command) {
    case kSyncSysmem:
    case kSetIrqfd:
      return Outcome::NoReply;  // the board neither reads guest RAM nor interrupts
    case kDeviceReset:
      if (ioTrace_ != nullptr) std::fprintf(ioTrace_, "reset 0:21.%u\n", function);
      return Outcome::Reply;
    case kConfigRead:
    case kConfigWrite: {
      ConfigAccess access;
      if (!DecodeConfigAccess(message, access, error)) return Outcome::Error;
      FollowHostClock();
      const auto length = static_cast<unsigned>(access.length);
      const bool write = message.command == kConfigWrite;
      if (write) {
        ConfigWrite(function, access.offset, length, access.value);
      } else {
        value = ConfigRead(function, access.offset, length);
      }
      if (ioTrace_ != nullptr) {
        std::fprintf(ioTrace_, "cfg-%c%u 0:21.%u %03" PRIX32 " %0*" PRIX64 "\n", write ? 'w' : 'r', 8 * length,
                     function, access.offset, static_cast<int>(2 * length), write ? access.value : value);
      }
      return Outcome::Reply;
    }
    case kBarRead:
    case kBarWrite: {
      BarAccess access;
      if (!DecodeBarAccess(message, access, error)) return Outcome::Error;
      if (!access.memory) {
        error = "malformed message: an I/O-space BAR access; the board has memory BARs only";
        return Outcome::Error;
      }
      FollowHostClock();
      BeforeRegisterAccess();
      const Function& served = functions_[function];
      const bool write = message.command == kBarWrite;
      if (write) {
        BarWrite(served, access.address, access.size, access.value);
      } else {
        value = BarRead(served, access.address, access.size);
      }
      if (ioTrace_ != nullptr) {
        std::fprintf(ioTrace_, "mmio-%c%u %016" PRIX64 " %0*" PRIX64 "\n", write ? 'w' : 'r', 8 * access.size,
                     access.address, static_cast<int>(2 * access.size), write ? access.value : value);
      }
      return Outcome::Reply;
    }
    default:
      error = "unknown command " + std::to_string(message.command) + " (" + std::to_string(message.data.size()) +
              " data bytes)";
      return Outcome::Error;
  }
}

}  // namespace proxy
