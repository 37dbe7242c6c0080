// vexa-board as QEMU meets it: one socket, messages in, replies out, and
// how it ends. Each case sends raw messages, closes its end and reads the
// replies, the exit code and standard error.
#include <spawn.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/sim_process.h"

extern char** environ;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Message(std::int32_t command, const Bytes& data) {
  Bytes message(16 + data.size(), 0);
  const std::uint64_t size = data.size();
  std::memcpy(message.data(), &command, 4);
  std::memcpy(message.data() + 8, &size, 8);
  if (!data.empty()) std::memcpy(message.data() + 16, data.data(), data.size());
  return message;
}

Bytes Config(std::int32_t command, std::uint32_t offset, std::uint32_t value, std::int32_t length) {
  Bytes data(12);
  std::memcpy(data.data(), &offset, 4);
  std::memcpy(data.data() + 4, &value, 4);
  std::memcpy(data.data() + 8, &length, 4);
  return Message(command, data);
}

constexpr std::int32_t kWrite = 2;
constexpr std::int32_t kRead = 3;

struct Served {
  std::vector<std::uint64_t> replies;
  int exitCode = -1;
  std::string err;
};

Served Serve(const std::vector<Bytes>& messages) {
  vexa_test::TempDir dir;
  int pair[2];
  EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  const std::string errPath = (dir / "stderr").string();
  const std::string socketArg = "0=" + std::to_string(pair[1]);
  std::vector<std::string> args = {VEXA_BOARD_PATH, "--socket", socketArg};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addclose(&actions, pair[0]);
  pid_t pid = 0;
  EXPECT_EQ(posix_spawn(&pid, VEXA_BOARD_PATH, &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(pair[1]);

  Served served;
  for (const Bytes& message : messages) {
    if (write(pair[0], message.data(), message.size()) != static_cast<ssize_t>(message.size())) break;
    // Configuration accesses wait for their reply, as QEMU does.
    std::int32_t command = 0;
    std::memcpy(&command, message.data(), 4);
    if (message.size() != 28 || (command != kRead && command != kWrite)) continue;
    std::uint8_t reply[24];
    if (read(pair[0], reply, sizeof reply) != static_cast<ssize_t>(sizeof reply)) break;
    std::uint64_t value = 0;
    std::memcpy(&value, reply + 16, 8);
    served.replies.push_back(value);
  }
  close(pair[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  served.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  served.err = vexa_test::ReadText(errPath);
  return served;
}

struct Case {
  const char* name;
  std::vector<Bytes> messages;
  std::vector<std::uint64_t> replies;
  int exitCode;
  const char* err;  // what standard error holds; "" = nothing at all
};

TEST(BoardServer, AnswersQemuAndEndsAsItShould) {
  const Bytes header = Config(kRead, 0, 0, 2);
  const std::vector<Case> cases = {
      // Vendor and device ID of the default generation's function 0.
      {"identity", {Config(kRead, 0, 0, 4)}, {0xA8788086}, 0, ""},
      // QEMU sizes BAR0 to 5 as 32-bit BARs: BAR0 a 4 KB memory window,
      // the others absent; then the firmware places BAR0.
      {"bar sizing",
       {Config(kWrite, 0x10, 0xFFFFFFFF, 4), Config(kRead, 0x10, 0, 4), Config(kWrite, 0x14, 0xFFFFFFFF, 4),
        Config(kRead, 0x14, 0, 4), Config(kWrite, 0x10, 0xC1011000, 4), Config(kRead, 0x10, 0, 4)},
       {0, 0xFFFFF000, 0, 0, 0, 0xC1011000},
       0,
       ""},
      {"unknown command", {Message(9, {})}, {}, 1, "vexa-board: function 0:21.0: unknown command 9"},
      {"short header", {Bytes(header.begin(), header.begin() + 5)}, {}, 1, "short read"},
      {"short data", {Bytes(header.begin(), header.end() - 1)}, {}, 1, "short read"},
      {"wrong size", {Message(kRead, Bytes(5, 0))}, {}, 1, "malformed message"},
      {"oversized", {Message(kRead, Bytes(200, 0))}, {}, 1, "malformed message"},
  };
  for (const Case& c : cases) {
    const Served served = Serve(c.messages);
    EXPECT_EQ(served.replies, c.replies) << c.name;
    EXPECT_EQ(served.exitCode, c.exitCode) << c.name;
    if (*c.err == '\0') {
      EXPECT_EQ(served.err, "") << c.name;
    } else {
      EXPECT_NE(served.err.find(c.err), std::string::npos) << c.name << ": " << served.err;
      EXPECT_EQ(served.err.back(), '\n') << c.name;
    }
  }
}

}  // namespace
