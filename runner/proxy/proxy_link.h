// The message link of QEMU's x-pci-proxy-dev: QEMU sends every
// configuration and register access of a PCI function over a stream
// socket and, for most of them, waits for the value read.
//
// A message is a 16-byte header (int command, 4 padding bytes, 64-bit data
// size) and then that many data bytes; file descriptors travel with the
// header as SCM_RIGHTS.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace proxy {

enum Command : std::int32_t {
  kSyncSysmem = 0,  // descriptors of guest RAM; no reply
  kReturn = 1,      // the reply: 8 data bytes, the value read or 0
  kConfigWrite = 2,
  kConfigRead = 3,
  kBarWrite = 4,
  kBarRead = 5,
  kSetIrqfd = 6,  // two eventfds; no reply
  kDeviceReset = 7,
};

// The largest data part QEMU sends (its guest-RAM descriptor table).
constexpr std::size_t kMaxData = 192;

// Data of kConfigRead / kConfigWrite: u32 offset, u32 value, int length.
struct ConfigAccess {
  std::uint32_t offset = 0;
  std::uint32_t value = 0;
  std::int32_t length = 0;
};
constexpr std::size_t kConfigAccessSize = 12;

// Data of kBarRead / kBarWrite: u64 guest-physical address (BAR base +
// offset), u64 value, u32 size, bool memory space, padded to 24 bytes.
struct BarAccess {
  std::uint64_t address = 0;
  std::uint64_t value = 0;
  std::uint32_t size = 0;
  bool memory = false;
};
constexpr std::size_t kBarAccessSize = 24;

struct Message {
  std::int32_t command = 0;
  std::vector<std::uint8_t> data;
};

enum class ReadResult { Message, Closed, Error };

// Reads one whole message from `fd`. Closed: the peer closed the socket
// before a header began. Error: `error` says what (a short read, a size
// beyond kMaxData, a socket error). Descriptors that came with it are
// closed: the board keeps none.
ReadResult ReadMessage(int fd, Message& message, std::string& error);

// Checks the data size of a message for its command and decodes it; false
// with `error` set for a message that cannot be one of QEMU's.
bool DecodeConfigAccess(const Message& message, ConfigAccess& access, std::string& error);
bool DecodeBarAccess(const Message& message, BarAccess& access, std::string& error);

// Sends kReturn with `value`; false with `error` set when it cannot.
bool SendReturn(int fd, std::uint64_t value, std::string& error);

}  // namespace proxy
