#include "app/smbios_fields.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/smbios_table.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// One structure: header, formatted bytes after it, strings, double NUL.
Bytes Structure(std::uint8_t type, const Bytes& formatted, const std::vector<std::string>& strings) {
  Bytes out;
  out.reserve(256);
  for (const std::uint8_t b : {type, static_cast<std::uint8_t>(4 + formatted.size()), std::uint8_t{0x34},
                               std::uint8_t{0x12}}) {
    out.push_back(b);
  }
  for (const std::uint8_t b : formatted) out.push_back(b);
  for (const std::string& s : strings) {
    for (const char c : s) out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(0);
  }
  if (strings.empty()) out.push_back(0);
  out.push_back(0);
  return out;
}

Bytes operator+(Bytes a, const Bytes& b) {
  for (const std::uint8_t x : b) a.push_back(x);
  return a;
}

// Type 1 up to its UUID: manufacturer 1, product 2, version 0, serial 3.
Bytes System(const std::vector<std::string>& strings, std::uint8_t uuidFill = 0x11) {
  Bytes formatted = {1, 2, 0, 3};
  for (int i = 0; i < 16; ++i) formatted.push_back(uuidFill);
  return Structure(1, formatted, strings);
}

Bytes Baseboard(const std::vector<std::string>& strings) {
  return Structure(2, {1, 2, 0, 3, 0, 1, 0, 0, 0, 0x0A}, strings);
}

const Bytes kEnd = Structure(127, {}, {});

struct Want {
  std::string manufacturer, product, serial, uuid, boardProduct, boardSerial;
};

TEST(SmbiosFields, TheFirstSystemAndBaseboardStructuresGiveTheFields) {
  const std::string u = "11111111-1111-1111-1111-111111111111";
  const std::string unknown = "unknown";
  const Want none{unknown, unknown, unknown, unknown, unknown, unknown};
  const Bytes good = System({"Maker", "Product", "SN1"}) + Baseboard({"Maker", "Board", "BSN"}) + kEnd;
  const struct {
    const char* label;
    Bytes table;
    Want want;
  } cases[] = {
      {"both", good, {"Maker", "Product", "SN1", u, "Board", "BSN"}},
      {"no table", {}, none},
      {"baseboard first, a second system structure ignored",
       Baseboard({"M", "B", "S"}) + System({"A", "P", "S1"}) + System({"X", "Y", "Z"}) + kEnd,
       {"A", "P", "S1", u, "B", "S"}},
      {"missing strings and blanks around them",
       System({"  Maker ", "   "}) + Baseboard({"M"}) + kEnd,
       {"Maker", unknown, unknown, u, unknown, unknown}},
      {"UUID all ones: not present", System({"M", "P", "S"}, 0xFF) + kEnd,
       {"M", "P", "S", unknown, unknown, unknown}},
      {"UUID all zeros: not set", System({"M", "P", "S"}, 0x00) + kEnd,
       {"M", "P", "S", unknown, unknown, unknown}},
      {"no UUID in an SMBIOS 2.0 structure", Structure(1, {1, 2, 0, 3}, {"M", "P", "S"}) + kEnd,
       {"M", "P", "S", unknown, unknown, unknown}},
      {"nothing after the end structure", System({"M", "P", "S"}) + kEnd + Baseboard({"M", "B", "S"}),
       {"M", "P", "S", u, unknown, unknown}},
      {"unprintable bytes and a long string",
       System({"A\tB\xE9", std::string(70, 'x'), "S"}) + kEnd,
       {"A?B?", std::string(64, 'x'), "S", u, unknown, unknown}},
      {"a table cut inside its strings", Bytes(good.begin(), good.begin() + 28),
       none},
      {"a length below the header's ends the walk", Bytes{1, 3, 0, 0, 0, 0} + good, none},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    SmbiosFields fields{};
    ParseSmbiosFields(c.table.data(), c.table.size(), &fields);
    EXPECT_EQ(fields.systemManufacturer, c.want.manufacturer);
    EXPECT_EQ(fields.systemProduct, c.want.product);
    EXPECT_EQ(fields.systemSerial, c.want.serial);
    EXPECT_EQ(fields.systemUuid, c.want.uuid);
    EXPECT_EQ(fields.boardProduct, c.want.boardProduct);
    EXPECT_EQ(fields.boardSerial, c.want.boardSerial);
  }
}

// The simulated board's table is read back as QEMU's -smbios words gave
// it, the UUID in its written form.
TEST(SmbiosFields, TheSimulatedBoardsTableReadsBackAsGiven) {
  sim::SmbiosIdentity identity;
  std::string error;
  ASSERT_TRUE(sim::ParseSmbiosOption(identity, "type=1,serial=S-1,uuid=0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9", error));
  ASSERT_TRUE(sim::ParseSmbiosOption(identity, "type=2,product=P,,Q,serial=B-2", error));
  const Bytes table = sim::SmbiosStructures(identity);
  SmbiosFields fields{};
  ParseSmbiosFields(table.data(), table.size(), &fields);
  EXPECT_EQ(std::string(fields.systemSerial), "S-1");
  EXPECT_EQ(std::string(fields.systemUuid), "0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9");
  EXPECT_EQ(std::string(fields.boardProduct), "P,Q");
  EXPECT_EQ(std::string(fields.boardSerial), "B-2");
  for (const char* bad : {"type=3", "type=1,serial", "type=2,uuid=0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9",
                          "type=1,uuid=0a1b2c3d4e5f60718293a4b5c6d7e8f9"}) {
    EXPECT_FALSE(sim::ParseSmbiosOption(identity, bad, error)) << bad;
  }
}

}  // namespace
