#ifndef PLATFORM_I2C_H
#define PLATFORM_I2C_H

// Requests of the SoC's I2C driver on /dev/i2c-N (its own semantics, not the
// Linux i2c-dev ones). The slave address is the 8-bit form (write address).
#define I2C_SLAVE_FORCE 0x0706  // argument: the slave address
#define I2C_16BIT_REG 0x0709    // argument: 1 for 2-byte register numbers, 0 for 1
#define I2C_16BIT_DATA 0x070A   // argument: 1 for 2-byte data, 0 for 1

// A write is the register bytes (low first) then the data bytes (low first).
// A read takes the register bytes in the buffer and returns the data there.

#endif
