// Byte transfers over the controller in gI2cHost, to the target last set
// with I2cSetSlaveAddress. Status 0 = success, 1 = failure.
#pragma once

#include <stdint.h>

// mode 2 adds STOP after the byte; pace 1 polls completion every 30 us,
// anything else every 10 us.
uint8_t I2cSentByte(uint8_t data, uint8_t mode, uint8_t pace);

// Sends the command bytes (the last with STOP), then reads readLength bytes
// in a new transaction. slaveAddress serves only the failure message.
uint8_t I2CBlkDataRead(uint8_t slaveAddress, const uint8_t* commandBytes, uint8_t commandLength,
                       uint8_t* buffer, uint16_t readLength);

// Sends count bytes. The status covers the first byte, and a later byte
// the device refused: the rest of the bytes are not sent then.
uint8_t I2CBlkDataWrite(uint8_t count, const uint8_t* bytes);
