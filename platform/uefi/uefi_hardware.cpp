// Port and memory-mapped I/O of the firmware build. Physical memory is
// identity-mapped while boot services run, so a physical address is the
// pointer. Every access is one instruction of exactly the stated width,
// written out in assembly so that the compiler can neither split, merge,
// repeat nor reorder it; the "memory" clobber keeps it in program order
// with the tool's other memory accesses.
#include "platform/platform.h"

void PlatformPortWrite32(uint16_t port, uint32_t value) {
  asm volatile("outl %0, %w1" : : "a"(value), "Nd"(port) : "memory");
}

uint16_t PlatformPortRead16(uint16_t port) {
  uint16_t value;
  asm volatile("inw %w1, %0" : "=a"(value) : "Nd"(port) : "memory");
  return value;
}

uint32_t PlatformPortRead32(uint16_t port) {
  uint32_t value;
  asm volatile("inl %w1, %0" : "=a"(value) : "Nd"(port) : "memory");
  return value;
}

uint32_t PlatformMmioRead32(uint64_t address) {
  uint32_t value;
  asm volatile("movl (%1), %0" : "=r"(value) : "r"(address) : "memory");
  return value;
}

void PlatformMmioWrite32(uint64_t address, uint32_t value) {
  asm volatile("movl %0, (%1)" : : "r"(value), "r"(address) : "memory");
}

uint16_t PlatformMmioRead16(uint64_t address) {
  uint16_t value;
  asm volatile("movw (%1), %0" : "=r"(value) : "r"(address) : "memory");
  return value;
}

uint8_t PlatformMmioRead8(uint64_t address) {
  uint8_t value;
  asm volatile("movb (%1), %0" : "=q"(value) : "r"(address) : "memory");
  return value;
}

void PlatformMmioWrite8(uint64_t address, uint8_t value) {
  asm volatile("movb %0, (%1)" : : "q"(value), "r"(address) : "memory");
}
