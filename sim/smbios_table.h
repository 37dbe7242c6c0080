// The board's SMBIOS table: the firmware's description of the machine, of
// which the tool reads the system (type 1) and baseboard (type 2)
// structures to record which board it updated. Given as QEMU takes it
// ("type=1,serial=X,uuid=U"), so that the host and the firmware runs of a
// test describe the same board with the same words.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

struct SmbiosIdentity {
  bool present = true;  // false: the firmware offers no table at all
  std::string systemManufacturer = "VEXA";
  std::string systemProduct = "Simulated Board";
  std::string systemSerial;                        // empty: no string
  std::optional<std::array<std::uint8_t, 16>> uuid;  // as written: "00112233-4455-..."
  std::string boardManufacturer = "VEXA";
  std::string boardProduct = "Simulated Board";
  std::string boardSerial;
};

// The structure table: type 1, type 2, the end-of-table structure 127;
// strings numbered from 1, an empty one left out (its number 0). The UUID
// is stored as SMBIOS 2.6 and later have it: the first three fields little
// endian.
std::vector<std::uint8_t> SmbiosStructures(const SmbiosIdentity& identity);

// One --smbios value: "none", or "type=1" / "type=2" followed by
// ",field=value" items (type 1: manufacturer, product, serial, uuid;
// type 2: manufacturer, product, serial); ",," in a value is a comma, as
// with QEMU. false, with error set, for anything else.
bool ParseSmbiosOption(SmbiosIdentity& identity, const std::string& text, std::string& error);

}  // namespace sim
