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
  Space& space = functions_[Address(bus, device, function, 0) & kFunctionKeyMask];
  space = Space{};
  return space.bytes;
}

PciConfigSpace::Space* PciConfigSpace::Find(std::uint32_t address) {
  const auto found = functions_.find(address & kFunctionKeyMask);
  return found == functions_.end() ? nullptr : &found->second;
}

const PciConfigSpace::Space* PciConfigSpace::Find(std::uint32_t address) const {
  const auto found = functions_.find(address & kFunctionKeyMask);
  return found == functions_.end() ? nullptr : &found->second;
}

PciConfigSpace::Header& PciConfigSpace::Writable(unsigned bus, unsigned device, unsigned function) {
  return Find(Address(bus, device, function, 0))->writable;
}

PciConfigSpace::Header& PciConfigSpace::WriteOneToClear(unsigned bus, unsigned device,
                                                        unsigned function) {
  return Find(Address(bus, device, function, 0))->writeOneToClear;
}

const PciConfigSpace::Header* PciConfigSpace::Function(unsigned bus, unsigned device,
                                                       unsigned function) const {
  const Space* space = Find(Address(bus, device, function, 0));
  return space != nullptr ? &space->bytes : nullptr;
}

PciConfigSpace::Header* PciConfigSpace::Function(unsigned bus, unsigned device, unsigned function) {
  Space* space = Find(Address(bus, device, function, 0));
  return space != nullptr ? &space->bytes : nullptr;
}

const PciConfigSpace::Header* PciConfigSpace::Selected() const {
  if ((address_ & kEnableBit) == 0) return nullptr;
  const Space* space = Find(address_);
  return space != nullptr ? &space->bytes : nullptr;
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

void PciConfigSpace::WriteData32(std::uint32_t value) {
  Space* space = (address_ & kEnableBit) != 0 ? Find(address_) : nullptr;
  const unsigned reg = address_ & 0xFC;
  bool taken = false;
  for (unsigned i = 0; space != nullptr && i < 4; ++i) {
    const auto byte = static_cast<std::uint8_t>(value >> (8 * i));
    const std::uint8_t writable = space->writable[reg + i];
    const std::uint8_t clearable = space->writeOneToClear[reg + i];
    std::uint8_t& cell = space->bytes[reg + i];
    cell = static_cast<std::uint8_t>(((cell & ~writable) | (byte & writable)) & ~(byte & clearable));
    taken = taken || (writable | clearable) != 0;
  }
  if (!taken) ++droppedWrites_;
}

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
