// PCI configuration space behind configuration mechanism 1: a 32-bit write
// to port 0xCF8 latches the address (bit 31 enable, bus 23..16, device
// 15..11, function 10..8, register 7..2); port 0xCFC then reads that
// register. Functions that are not there read as all ones. A write through
// 0xCFC changes only the bits a function declares writable; bits it
// declares write-one-to-clear are cleared by a 1 and kept by a 0.
#pragma once

#include <array>
#include <cstdint>
#include <map>

namespace sim {

class PciConfigSpace {
 public:
  using Header = std::array<std::uint8_t, 256>;

  static constexpr std::uint16_t kAddressPort = 0xCF8;
  static constexpr std::uint16_t kDataPort = 0xCFC;

  // A function's 256 configuration bytes, zeroed, for the caller to fill.
  // Nothing in them is writable until the caller says so below.
  Header& AddFunction(unsigned bus, unsigned device, unsigned function);

  // Per byte of an added function: the bits a write sets or clears, and
  // the bits a 1 clears. Both start zeroed.
  Header& Writable(unsigned bus, unsigned device, unsigned function);
  Header& WriteOneToClear(unsigned bus, unsigned device, unsigned function);

  // The bytes of a function; nullptr when it is not there.
  const Header* Function(unsigned bus, unsigned device, unsigned function) const;
  Header* Function(unsigned bus, unsigned device, unsigned function);

  void WriteAddress(std::uint32_t value) { address_ = value; }
  std::uint32_t address() const { return address_; }

  // The selected register; `byteOffset` is the data port's offset from
  // 0xCFC (0 to 3), so a 16-bit read at 0xCFE gives the upper half.
  std::uint32_t ReadData32() const;
  std::uint16_t ReadData16(unsigned byteOffset) const;
  std::uint8_t ReadData8(unsigned byteOffset) const;

  // A write through the data port to the selected register; counted as
  // dropped when no bit of it is writable.
  void WriteData32(std::uint32_t value);
  std::uint64_t droppedWrites() const { return droppedWrites_; }

  static std::uint32_t Address(unsigned bus, unsigned device, unsigned function, unsigned reg);

 private:
  struct Space {
    Header bytes;
    Header writable;
    Header writeOneToClear;
  };

  Space* Find(std::uint32_t address);
  const Space* Find(std::uint32_t address) const;
  const Header* Selected() const;

  std::map<std::uint32_t, Space> functions_;
  std::uint32_t address_ = 0;
  std::uint64_t droppedWrites_ = 0;
};

// Little-endian stores into a configuration header.
void PutConfig16(PciConfigSpace::Header& header, unsigned offset, std::uint16_t value);
void PutConfig32(PciConfigSpace::Header& header, unsigned offset, std::uint32_t value);

// Vendor and device IDs, command, revision, class code and header type.
void PutConfigIdentity(PciConfigSpace::Header& header, std::uint16_t vendor, std::uint16_t device,
                       std::uint32_t classCode, std::uint8_t revision, std::uint8_t headerType);

}  // namespace sim
