// The byte transfers of the Linux build through the kernel's driver: one
// I2C_RDWR message per transaction, each START ... STOP, so that the wire
// sees what the DesignWare layer puts on it (a read command is a write
// transaction, then a read transaction). Whatever the kernel reports (a
// NACK, a time-out, lost arbitration, an I/O error) fails the transfer,
// as a refused byte does there.
#include <errno.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>

#include "i2c/linux/kernel_bus.h"
#include "i2c/transfer.h"
#include "platform/console_text.h"

namespace {

bool Transaction(bool read, uint8_t* bytes, uint16_t count) {
  i2c_msg message{};
  message.addr = static_cast<uint16_t>(gKernelBus.target);
  message.flags = read ? I2C_M_RD : 0;
  message.len = count;
  message.buf = bytes;
  i2c_rdwr_ioctl_data transfer{&message, 1};
  if (ioctl(gKernelBus.fd, I2C_RDWR, &transfer) == 1) {
    ++gKernelBus.frames;
    gKernelBus.bytes += count;
    return true;
  }
  const int error = errno;
  StdPrintf("I2C %s %02X (%d Bytes) Failed, the Kernel Said %s!\n", read ? "Read from" : "Write to",
            static_cast<unsigned>(gKernelBus.target << 1), static_cast<int>(count),
            KernelErrorText(error).c_str());
  return false;
}

}  // namespace

bool I2cBlockRead(uint8_t, const uint8_t* commandBytes, uint8_t commandLength, uint8_t* buffer,
                  uint16_t readLength) {
  uint8_t command[UINT8_MAX];
  for (uint8_t i = 0; i < commandLength; ++i) command[i] = commandBytes[i];
  return Transaction(false, command, commandLength) && Transaction(true, buffer, readLength);
}

bool I2cBlockWrite(uint8_t count, const uint8_t* bytes) {
  if (count == 0) {
    ConsolePrint(u"I2CBlkDataWrite -> Nothing to Send!!\n");
    return false;
  }
  uint8_t frame[UINT8_MAX];
  for (uint8_t i = 0; i < count; ++i) frame[i] = bytes[i];
  return Transaction(false, frame, count);
}
