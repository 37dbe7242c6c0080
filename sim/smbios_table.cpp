#include "sim/smbios_table.h"

#include <cstddef>

namespace sim {

namespace {

constexpr std::uint8_t kSystemType = 1;
constexpr std::uint8_t kBaseboardType = 2;
constexpr std::uint8_t kEndType = 127;
// Formatted lengths: type 1 up to its family string (SMBIOS 2.4 on), type 2
// up to its board type.
constexpr std::uint8_t kSystemLength = 0x1B;
constexpr std::uint8_t kBaseboardLength = 0x0F;

// The strings of one structure and the number each one gets.
class StringSet {
 public:
  std::uint8_t Add(const std::string& text) {
    if (text.empty()) return 0;
    strings_.push_back(text);
    return static_cast<std::uint8_t>(strings_.size());
  }
  void AppendTo(std::vector<std::uint8_t>& out) const {
    for (const std::string& s : strings_) {
      out.insert(out.end(), s.begin(), s.end());
      out.push_back(0);
    }
    // No strings: the area is two NULs; otherwise the last string's NUL and one more.
    if (strings_.empty()) out.push_back(0);
    out.push_back(0);
  }

 private:
  std::vector<std::string> strings_;
};

void Header(std::vector<std::uint8_t>& out, std::uint8_t type, std::uint8_t length, std::uint16_t handle) {
  out.insert(out.end(), {type, length, static_cast<std::uint8_t>(handle), static_cast<std::uint8_t>(handle >> 8)});
}

bool ParseUuid(const std::string& text, std::array<std::uint8_t, 16>& uuid) {
  // 8-4-4-4-12 hexadecimal digits.
  if (text.size() != 36) return false;
  std::size_t byte = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return false;
      ++i;
      continue;
    }
    unsigned value = 0;
    for (int k = 0; k < 2; ++k, ++i) {
      const char c = text[i];
      unsigned digit = 0;
      if (c >= '0' && c <= '9') {
        digit = static_cast<unsigned>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        digit = static_cast<unsigned>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        digit = static_cast<unsigned>(c - 'A' + 10);
      } else {
        return false;
      }
      value = value * 16 + digit;
    }
    uuid[byte++] = static_cast<std::uint8_t>(value);
  }
  return byte == 16;
}

// "a=b,,c,d=e" -> {"a=b,c", "d=e"}.
std::vector<std::string> SplitItems(const std::string& text) {
  std::vector<std::string> items(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ',' && i + 1 < text.size() && text[i + 1] == ',') {
      items.back() += ',';
      ++i;
    } else if (text[i] == ',') {
      items.emplace_back();
    } else {
      items.back() += text[i];
    }
  }
  return items;
}

}  // namespace

std::vector<std::uint8_t> SmbiosStructures(const SmbiosIdentity& identity) {
  std::vector<std::uint8_t> out;
  if (!identity.present) return out;

  StringSet system;
  Header(out, kSystemType, kSystemLength, 0x0100);
  out.push_back(system.Add(identity.systemManufacturer));
  out.push_back(system.Add(identity.systemProduct));
  out.push_back(0);  // version
  out.push_back(system.Add(identity.systemSerial));
  if (identity.uuid) {
    const std::array<std::uint8_t, 16>& u = *identity.uuid;
    const std::size_t order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (const std::size_t i : order) out.push_back(u[i]);
  } else {
    out.insert(out.end(), 16, 0);  // not set
  }
  out.push_back(0x06);  // wake-up type: power switch
  out.push_back(0);     // SKU
  out.push_back(0);     // family
  system.AppendTo(out);

  StringSet board;
  Header(out, kBaseboardType, kBaseboardLength, 0x0200);
  out.push_back(board.Add(identity.boardManufacturer));
  out.push_back(board.Add(identity.boardProduct));
  out.push_back(0);  // version
  out.push_back(board.Add(identity.boardSerial));
  out.push_back(0);     // asset tag
  out.push_back(0x01);  // feature flags: a hosting board
  out.push_back(0);     // location in chassis
  out.insert(out.end(), {0x00, 0x03});  // chassis handle 0x0300
  out.push_back(0x0A);  // board type: motherboard
  board.AppendTo(out);

  Header(out, kEndType, 4, 0xFEFF);
  out.insert(out.end(), {0, 0});
  return out;
}

bool ParseSmbiosOption(SmbiosIdentity& identity, const std::string& text, std::string& error) {
  if (text == "none") {
    identity.present = false;
    return true;
  }
  const std::vector<std::string> items = SplitItems(text);
  const bool system = items[0] == "type=1";
  if (!system && items[0] != "type=2") {
    error = "--smbios: '" + text + "' begins with neither type=1 nor type=2 (nor is it none)";
    return false;
  }
  identity.present = true;
  for (std::size_t i = 1; i < items.size(); ++i) {
    const std::size_t equals = items[i].find('=');
    const std::string field = items[i].substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : items[i].substr(equals + 1);
    if (equals == std::string::npos) {
      error = "--smbios: '" + items[i] + "' is not field=value";
      return false;
    }
    if (field == "manufacturer") {
      (system ? identity.systemManufacturer : identity.boardManufacturer) = value;
    } else if (field == "product") {
      (system ? identity.systemProduct : identity.boardProduct) = value;
    } else if (field == "serial") {
      (system ? identity.systemSerial : identity.boardSerial) = value;
    } else if (field == "uuid" && system) {
      std::array<std::uint8_t, 16> uuid{};
      if (!ParseUuid(value, uuid)) {
        error = "--smbios: uuid '" + value + "' is not 8-4-4-4-12 hexadecimal digits";
        return false;
      }
      identity.uuid = uuid;
    } else {
      error = "--smbios: " + items[0] + " has no field '" + field + "' here";
      return false;
    }
  }
  return true;
}

}  // namespace sim
