#include "runner/proxy/proxy_link.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace proxy {

namespace {

constexpr std::size_t kHeaderSize = 16;
// QEMU never sends more than eight descriptors with one message.
constexpr std::size_t kMaxDescriptors = 8;

void CloseReceived(msghdr& header) {
  for (cmsghdr* c = CMSG_FIRSTHDR(&header); c != nullptr; c = CMSG_NXTHDR(&header, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
    const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    for (std::size_t i = 0; i < count; ++i) {
      int fd = -1;
      std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
      close(fd);
    }
  }
}

// Reads exactly `size` bytes; the descriptors of the first chunk are
// closed. Returns the count read before end of file (0 .. size), or -1.
long ReadFully(int fd, std::uint8_t* buffer, std::size_t size, std::string& error) {
  std::size_t done = 0;
  while (done < size) {
    iovec part{buffer + done, size - done};
    alignas(cmsghdr) char control[CMSG_SPACE(kMaxDescriptors * sizeof(int))];
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    const ssize_t got = recvmsg(fd, &header, MSG_CMSG_CLOEXEC);
    if (got < 0) {
      if (errno == EINTR) continue;
      error = std::string("reading the socket: ") + std::strerror(errno);
      return -1;
    }
    CloseReceived(header);
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<long>(done);
}

}  // namespace

ReadResult ReadMessage(int fd, Message& message, std::string& error) {
  std::uint8_t header[kHeaderSize];
  const long got = ReadFully(fd, header, kHeaderSize, error);
  if (got < 0) return ReadResult::Error;
  if (got == 0) return ReadResult::Closed;
  if (got != static_cast<long>(kHeaderSize)) {
    error = "short read: the socket closed " + std::to_string(got) + " bytes into a 16-byte message header";
    return ReadResult::Error;
  }
  std::uint64_t size = 0;
  std::memcpy(&message.command, header, sizeof message.command);
  std::memcpy(&size, header + 8, sizeof size);
  if (size > kMaxData) {
    error = "malformed message: command " + std::to_string(message.command) + " with " +
            std::to_string(size) + " data bytes (at most " + std::to_string(kMaxData) + ")";
    return ReadResult::Error;
  }
  message.data.assign(size, 0);
  const long body = ReadFully(fd, message.data.data(), message.data.size(), error);
  if (body < 0) return ReadResult::Error;
  if (body != static_cast<long>(size)) {
    error = "short read: the socket closed " + std::to_string(body) + " bytes into the " +
            std::to_string(size) + " data bytes of command " + std::to_string(message.command);
    return ReadResult::Error;
  }
  return ReadResult::Message;
}

namespace {

bool SizeIs(const Message& message, std::size_t size, const char* what, std::string& error) {
  if (message.data.size() == size) return true;
  error = "malformed message: " + std::string(what) + " (command " + std::to_string(message.command) +
          ") with " + std::to_string(message.data.size()) + " data bytes instead of " + std::to_string(size);
  return false;
}

}  // namespace

bool DecodeConfigAccess(const Message& message, ConfigAccess& access, std::string& error) {
  if (!SizeIs(message, kConfigAccessSize, "a configuration access", error)) return false;
  std::memcpy(&access.offset, message.data.data(), 4);
  std::memcpy(&access.value, message.data.data() + 4, 4);
  std::memcpy(&access.length, message.data.data() + 8, 4);
  const bool widthFits = access.length == 1 || access.length == 2 || access.length == 4;
  if (!widthFits || access.offset > 0xFFF || access.offset % access.length != 0) {
    error = "malformed message: configuration access of " + std::to_string(access.length) +
            " bytes at offset " + std::to_string(access.offset);
    return false;
  }
  return true;
}

bool DecodeBarAccess(const Message& message, BarAccess& access, std::string& error) {
  if (!SizeIs(message, kBarAccessSize, "a BAR access", error)) return false;
  std::memcpy(&access.address, message.data.data(), 8);
  std::memcpy(&access.value, message.data.data() + 8, 8);
  std::memcpy(&access.size, message.data.data() + 16, 4);
  access.memory = message.data[20] != 0;
  if (access.size != 1 && access.size != 2 && access.size != 4 && access.size != 8) {
    error = "malformed message: BAR access of " + std::to_string(access.size) + " bytes";
    return false;
  }
  return true;
}

bool SendReturn(int fd, std::uint64_t value, std::string& error) {
  std::uint8_t reply[kHeaderSize + 8] = {};
  const std::int32_t command = kReturn;
  const std::uint64_t size = 8;
  std::memcpy(reply, &command, sizeof command);
  std::memcpy(reply + 8, &size, sizeof size);
  std::memcpy(reply + kHeaderSize, &value, sizeof value);
  std::size_t done = 0;
  while (done < sizeof reply) {
    const ssize_t sent = send(fd, reply + done, sizeof reply - done, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      error = std::string("writing the socket: ") + std::strerror(errno);
      return false;
    }
    done += static_cast<std::size_t>(sent);
  }
  return true;
}

}  // namespace proxy
