// vexa-trace-replay: puts a bus trace of the simulated board (one line per
// transaction, see sim/bus_trace.h) back on a real bus through the
// kernel's driver, one I2C_RDWR message per transaction, and checks that
// every read brings the bytes the trace holds and that every transaction
// the trace shows refused is refused. A check of the simulated controller
// by a driver that runs on real silicon.
//
//   vexa-trace-replay /dev/i2c-N TRACE
//
// Prints "replayed T transfers: F failed, D differing reads" and exits 0
// when both are 0.
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: vexa-trace-replay /dev/i2c-N TRACE\n");
    return 2;
  }
  const int fd = open(argv[1], O_RDWR);
  std::ifstream trace(argv[2]);
  if (fd < 0 || !trace) {
    std::fprintf(stderr, "vexa-trace-replay: cannot open %s or %s\n", argv[1], argv[2]);
    return 2;
  }
  unsigned transfers = 0, failed = 0, differing = 0;
  std::string line;
  while (std::getline(trace, line)) {
    std::istringstream words(line);
    std::string kind, address;
    words >> kind >> address;
    if ((kind != "W" && kind != "R") || address.size() != 3) continue;
    std::vector<unsigned char> bytes;
    bool refused = false;
    for (std::string word; words >> word;) {
      if (word == "NACK") {
        refused = true;
      } else {
        bytes.push_back(static_cast<unsigned char>(std::strtoul(word.c_str(), nullptr, 16)));
      }
    }
    const bool read = kind == "R";
    std::vector<unsigned char> buffer = bytes;
    // A refused write goes out as the trace shows it; a refused read needs
    // one byte to ask for.
    if (buffer.empty()) buffer.push_back(0);
    i2c_msg message{};
    message.addr = static_cast<__u16>(std::strtoul(address.substr(0, 2).c_str(), nullptr, 16) >> 1);
    message.flags = read ? I2C_M_RD : 0;
    message.len = static_cast<__u16>(buffer.size());
    message.buf = buffer.data();
    i2c_rdwr_ioctl_data data{&message, 1};
    const bool done = ioctl(fd, I2C_RDWR, &data) == 1;
    ++transfers;
    if (done == refused) {
      ++failed;
      std::printf("transfer %u (%s): %s\n", transfers, line.c_str(), done ? "went through" : "refused");
    } else if (read && done && buffer != bytes) {
      ++differing;
      std::printf("transfer %u (%s): read differs\n", transfers, line.c_str());
    }
  }
  close(fd);
  std::printf("replayed %u transfers: %u failed, %u differing reads\n", transfers, failed, differing);
  return failed == 0 && differing == 0 && transfers > 0 ? 0 : 1;
}
