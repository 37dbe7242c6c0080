#include "sim/pci_config.h"

namespace sim {

namespace {

// Bus, device and function bits of a configuration address.
constexpr std::uint32_t kFunctionKeyMask = 0x00FFFF00;
constexpr std::uint32_t kEnableBit = 0x80000000;

}  // namespace

std::uint32_t PciConfigSpace::Address(unsigned bus, unsigned device, unsigned function,
                                      unsigned reg) {
  return kEnableBit | ((bus & 0xFF) << 16) | ((device & 0x1F) << 11) | ((function & 7) << 8) |
         (reg & 0xFC);
}

PciConfigSpace::Header& PciConfigSpace::AddFunction(unsigned bus, unsigned device,
                                                     unsigned function) {
  Header& header = functions_[Address(bus, device, function, 0) & kFunctionKeyMask];
  header.fill(0);
  return header;
}

const PciConfigSpace::Header* PciConfigSpace::Selected() const {
  if ((address_ & kEnableBit) == 0) return nullptr;
  const auto found = functions_.find(address_ & kFunctionKeyMask);
  return found == functions_.end() ? nullptr : &found->second;
}

std::uint32_t PciConfigSpace::ReadData32() const {
  const Header* header = Selected();
  if (header == nullptr) return 0xFFFFFFFFu;
  const unsigned reg = address_ & 0xFC;
  return static_cast<std::uint32_t>((*header)[reg]) |
         static_cast<std::uint32_t>((*header)[reg + 1]) << 8 |
         static_cast<std::uint32_t>((*header)[reg + 2]) << 16 |
         static_cast<std::uint32_t>((*header)[reg + 3]) << 24;
}

std::uint16_t PciConfigSpace::ReadData16(unsigned byteOffset) const {
  return static_cast<std::uint16_t>(ReadData32() >> (8 * (byteOffset & 2)));
}

std::uint8_t PciConfigSpace::ReadData8(unsigned byteOffset) const {
  return static_cast<std::uint8_t>(ReadData32() >> (8 * (byteOffset & 3)));
}

void PciConfigSpace::WriteData32(std::uint32_t) { ++droppedWrites_; }

void PutConfig16(PciConfigSpace::Header& header, unsigned offset, std::uint16_t value) {
  header[offset] = static_cast<std::uint8_t>(value);
  header[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutConfig32(PciConfigSpace::Header& header, unsigned offset, std::uint32_t value) {
  PutConfig16(header, offset, static_cast<std::uint16_t>(value));
  PutConfig16(header, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

void PutConfigIdentity(PciConfigSpace::Header& header, std::uint16_t vendor, std::uint16_t device,
                       std::uint32_t classCode, std::uint8_t revision, std::uint8_t headerType) {
  PutConfig16(header, 0x00, vendor);
  PutConfig16(header, 0x02, device);
  PutConfig16(header, 0x04, 0x0006);  // memory space and bus master enabled
  PutConfig32(header, 0x08, (classCode << 8) | revision);
  header[0x0E] = headerType;
}

}  // namespace sim
