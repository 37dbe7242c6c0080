// Byte transfers over the controller in gI2cHost, to the target last set
// with I2cSetSlaveAddress. true = success; a failure has printed why.
#pragma once

#include <stdint.h>

// Whether a byte ends its transfer with a STOP.
enum class ByteEnd : uint8_t { More, Stop };

// How often the byte's completion is polled: every 10 us or every 30 us.
enum class PollPace : uint8_t { Fast, Slow };

bool I2cSendByte(uint8_t data, ByteEnd end, PollPace pace);

// Sends the command bytes (the last with STOP), then reads readLength bytes
// in a new transaction. slaveAddress serves only the failure message.
bool I2cBlockRead(uint8_t slaveAddress, const uint8_t* commandBytes, uint8_t commandLength, uint8_t* buffer,
                  uint16_t readLength);

// Sends count bytes. The result covers the first byte, and a later byte
// the device refused: the rest of the bytes are not sent then.
bool I2cBlockWrite(uint8_t count, const uint8_t* bytes);
