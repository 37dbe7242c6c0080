// Chip identification: the ID read and its checks, the bridge geometry the
// ID selects, and the choice of the TCPI-mode address.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "pd/chip_info.h"
#include "pd/pd_settings.h"
#include "pd_bench.h"

namespace pdtest {
namespace {

using Id = std::array<std::uint8_t, 4>;

std::string Hex(const Id& id) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X %02X %02X %02X", id[0], id[1], id[2], id[3]);
  return text;
}

// A chip that answers the ID command with `id`.
void AnswerId(FrameDevice& device, const Id& id) {
  device.answer = [id](const Bytes& command, std::size_t index) -> std::uint8_t {
    if (command == Bytes{0xFF, 0xC0} && index < 4) return id[index];
    return 0xEE;
  };
}

void ExpectId(const Id& id) {
  gChipInfo.expectedId[0] = id[0];
  gChipInfo.expectedId[1] = id[1];
}

// ---- SelectTcpiModeAddress ----

struct TcpiCase {
  std::uint8_t family;
  std::uint8_t model;
  std::uint8_t slave;
  std::uint8_t before;  // the /t value or an earlier choice
  std::uint8_t after;
};

TEST(SelectTcpiModeAddress, DecisionTable) {
  const TcpiCase cases[] = {
      // Models 56 and 57 decide alone, whatever the family.
      {0x88, 0x56, 0x80, 0x44, 0x98},
      {0x52, 0x57, 0x80, 0x44, 0x98},
      {0x00, 0x56, 0x84, 0x44, 0x9C},
      {0x88, 0x57, 0x84, 0x44, 0x9C},
      {0x52, 0x56, 0xD0, 0x44, 0x44},
      {0x13, 0x57, 0x82, 0x44, 0x44},
      // Families 52 and 58 with the four high slave addresses.
      {0x52, 0x30, 0xCC, 0x44, 0x4C},
      {0x52, 0x30, 0xCE, 0x44, 0x4E},
      {0x58, 0x30, 0xD0, 0x44, 0x50},
      {0x58, 0x53, 0xD2, 0x44, 0x52},
      {0x52, 0x30, 0x80, 0x44, 0x44},
      {0x58, 0x58, 0xD4, 0x44, 0x44},
      {0x52, 0x55, 0xCA, 0x10, 0x10},
      // Everything else takes the slave address, family 88 included.
      {0x88, 0x58, 0xD0, 0x44, 0xD0},
      {0x88, 0x30, 0x80, 0x44, 0x80},
      {0x00, 0x00, 0x84, 0x44, 0x84},
      {0x53, 0x30, 0xCC, 0x44, 0xCC},
  };
  for (const TcpiCase& c : cases) {
    vexa_test::BoardFixture fixture;
    gChipInfo.slaveAddr = c.slave;
    gChipInfo.tcpiModeAddr = c.before;
    const std::uint8_t id[2] = {c.family, c.model};
    SelectTcpiModeAddress(id);
    char what[64];
    std::snprintf(what, sizeof what, "family %02X model %02X slave %02X", c.family, c.model, c.slave);
    EXPECT_EQ(gChipInfo.tcpiModeAddr, c.after) << what;
    EXPECT_EQ(gChipInfo.slaveAddr, c.slave) << what;
    EXPECT_EQ(fixture.Console(), "") << what;
  }
}

TEST(SelectTcpiModeAddress, DebugLineOncePerCallEvenWhenUnchanged) {
  vexa_test::BoardFixture fixture;
  gPdSettings.debug = true;
  gChipInfo.slaveAddr = 0x80;
  gChipInfo.tcpiModeAddr = 0x0A;
  const std::uint8_t keeps[2] = {0x52, 0x30};
  SelectTcpiModeAddress(keeps);
  SelectTcpiModeAddress(keeps);
  const std::uint8_t moves[2] = {0x52, 0x56};
  SelectTcpiModeAddress(moves);
  EXPECT_EQ(fixture.Console(),
            "TCPI_Mode_addr = 0x0A\r\nTCPI_Mode_addr = 0x0A\r\nTCPI_Mode_addr = 0x98\r\n");
}

// ---- GetChipId: geometry ----

struct GeometryCase {
  Id id;
  std::uint32_t kb;
  std::uint8_t prefix[2];
  std::uint32_t addrBytes;
  std::uint32_t addrShift;
};

TEST(GetChipId, GeometryByChip) {
  const GeometryCase cases[] = {
      {{0x52, 0x50, 0x00, 0x00}, 128, {0x00, 0x00}, 3, 1},
      {{0x52, 0x5F, 0x80, 0x00}, 64, {0x00, 0x00}, 3, 1},
      {{0x52, 0x30, 0x00, 0x08}, 256, {0xFF, 0xF7}, 3, 0},
      {{0x52, 0x30, 0x80, 0x0C}, 128, {0xFF, 0xF7}, 3, 0},
      {{0x52, 0x30, 0x00, 0x0C}, 64, {0xFF, 0xF7}, 3, 0},
      {{0x52, 0x4F, 0x00, 0x00}, 64, {0xFF, 0xF7}, 3, 0},
      {{0x88, 0x53, 0x00, 0x00}, 64, {0xFF, 0xF7}, 2, 0},
      {{0x88, 0x53, 0x01, 0x00}, 32, {0x00, 0x00}, 2, 0},
      {{0x88, 0x53, 0x05, 0x00}, 128, {0x00, 0x00}, 3, 1},
      {{0x88, 0x56, 0x05, 0x04}, 128, {0xFF, 0xF7}, 3, 0},
      {{0x88, 0x59, 0x00, 0x08}, 256, {0xFF, 0xF7}, 3, 0},
      {{0x88, 0x30, 0x85, 0x00}, 64, {0x00, 0x00}, 3, 1},
      {{0x88, 0x30, 0x84, 0x00}, 64, {0x00, 0x00}, 2, 0},
      {{0x88, 0x5A, 0x04, 0x00}, 32, {0x00, 0x00}, 2, 0},
      {{0x88, 0x55, 0x7F, 0x00}, 128, {0x00, 0x00}, 3, 1},
  };
  for (const GeometryCase& c : cases) {
    PdBench bench;
    AnswerId(bench.device, c.id);
    ExpectId(c.id);
    // Values a previous identification could have left.
    bench.Geometry(0x12, 0x34, 9, 1);
    std::uint8_t id[4] = {};
    ASSERT_TRUE(GetChipId(id)) << Hex(c.id) << "\n" << bench.Console();
    const std::string what = "ID " + Hex(c.id);
    EXPECT_EQ(Id({id[0], id[1], id[2], id[3]}), c.id) << what;
    EXPECT_EQ(Id({gChipInfo.chipId[0], gChipInfo.chipId[1], gChipInfo.chipId[2], gChipInfo.chipId[3]}), c.id)
        << what;
    EXPECT_EQ(gChipInfo.flashSizeKb, c.kb) << what;
    EXPECT_EQ(gChipInfo.bridgePrefix[0], c.prefix[0]) << what;
    EXPECT_EQ(gChipInfo.bridgePrefix[1], c.prefix[1]) << what;
    EXPECT_EQ(gChipInfo.addrBytes, c.addrBytes) << what;
    EXPECT_EQ(gChipInfo.addrShift, c.addrShift) << what;
    EXPECT_EQ(bench.Console(), "") << what;
    char read[32];
    std::snprintf(read, sizeof read, "R 80: %02X %02X %02X %02X", c.id[0], c.id[1], c.id[2], c.id[3]);
    EXPECT_EQ(bench.Bus(), (std::vector<std::string>{"W 80: FF C0", read})) << what;
  }
}

// ---- GetChipId: the checks ----

struct FailureCase {
  const char* name;
  Id chip;
  std::uint8_t expected[2];
  bool refuseRead;
  std::string tail;        // how the console ends
  bool chipIdStored;       // the bytes read are kept (for the run's record), also when refused
};

// The mismatch and the line naming the chip found and the one expected.
std::string Mismatch(const char* found, const char* expected) {
  return std::string("Chip ID Mismatch!!\r\n\r\nChip ID found: OV") + found + ", expected: OV" + expected +
         " (/id); check /id and the image.\r\n";
}

TEST(GetChipId, FailuresStopBeforeTheGeometry) {
  const FailureCase cases[] = {
      {"read refused", {0x52, 0x30, 0, 0}, {0x52, 0x30}, true, "Get_chipID ->  I2CBlkDataReadFail!!\r\n\r\n",
       false},
      {"family differs", {0x52, 0x30, 0, 0}, {0x88, 0x30}, false, Mismatch("5230", "8830"), true},
      {"model differs", {0x52, 0x30, 0, 0}, {0x52, 0x31}, false, Mismatch("5230", "5231"), true},
      {"no /id, real chip", {0x88, 0x53, 0, 0}, {0x00, 0x00}, false, Mismatch("8853", "0000"), true},
      {"no /id, chip 00 00", {0x00, 0x00, 0x85, 0x04}, {0x00, 0x00}, false,
       "Get_chipID PD_FLash_Size error!!\r\n\r\n", true},
      {"unsupported family", {0x53, 0x30, 0, 0}, {0x53, 0x30}, false, "Get_chipID PD_FLash_Size error!!\r\n\r\n",
       true},
      {"size bits 3", {0x88, 0x57, 0x00, 0x0C}, {0x88, 0x57}, false, "Get_chipID PD_FLash_Size error!!\r\n\r\n",
       true},
  };
  for (const FailureCase& c : cases) {
    PdBench bench;
    AnswerId(bench.device, c.chip);
    if (c.refuseRead) {
      bench.device.refuse = [](const std::vector<Frame>&, bool read) { return read; };
    }
    gChipInfo.expectedId[0] = c.expected[0];
    gChipInfo.expectedId[1] = c.expected[1];
    gChipInfo.tcpiModeAddr = 0x44;
    std::uint8_t id[4] = {};
    EXPECT_FALSE(GetChipId(id)) << c.name;
    const std::string console = bench.Console();
    EXPECT_TRUE(EndsWith(console, c.tail)) << c.name << ": " << console;
    const Id stored = {gChipInfo.chipId[0], gChipInfo.chipId[1], gChipInfo.chipId[2], gChipInfo.chipId[3]};
    EXPECT_EQ(stored, c.chipIdStored ? c.chip : Id{}) << c.name;
    EXPECT_EQ(gChipInfo.chipIdRead, c.chipIdStored) << c.name;
    EXPECT_EQ(gChipInfo.flashSizeKb, 0u) << c.name;
    EXPECT_EQ(gChipInfo.bridgePrefix[0], 0) << c.name;
    EXPECT_EQ(gChipInfo.bridgePrefix[1], 0) << c.name;
    EXPECT_EQ(gChipInfo.addrBytes, 0u) << c.name;
    EXPECT_EQ(gChipInfo.addrShift, 0u) << c.name;
    EXPECT_EQ(gChipInfo.tcpiModeAddr, 0x44) << c.name;
  }
}

TEST(GetChipId, OnlyTheFirstTwoBytesAreChecked) {
  PdBench bench;
  AnswerId(bench.device, {0x52, 0x30, 0xA5, 0x5A});
  gChipInfo.expectedId[0] = 0x52;
  gChipInfo.expectedId[1] = 0x30;
  std::uint8_t id[4] = {};
  EXPECT_TRUE(GetChipId(id)) << bench.Console();
  EXPECT_EQ(gChipInfo.chipId[2], 0xA5);
  EXPECT_EQ(gChipInfo.chipId[3], 0x5A);
}

TEST(GetChipId, DebugLineComesBeforeTheCheck) {
  PdBench bench;
  AnswerId(bench.device, {0x88, 0x05, 0x00, 0x00});
  gPdSettings.debug = true;
  std::uint8_t id[4] = {};
  EXPECT_FALSE(GetChipId(id));
  EXPECT_EQ(bench.Console(), "CMD Chip ID: OV885, Parameter Chip ID: OV00\r\n" + Mismatch("8805", "0000"));
}

// The TCPI-mode address is chosen once, from the expected ID; the chip's
// matching ID shows it again in the debug lines.
TEST(GetChipId, ReadsFromTheSlaveAddressAndShowsTheTcpiAddressAgain) {
  // A chip at D0 (bus address 68) while the controller still points at 80.
  PdBench bench(0xD0, 0x80);
  AnswerId(bench.device, {0x52, 0x30, 0x00, 0x04});
  gChipInfo.slaveAddr = 0xD0;
  gPdSettings.debug = true;
  UseExpectedChipId(0x5230);
  std::uint8_t id[4] = {};
  EXPECT_TRUE(GetChipId(id)) << bench.Console();
  EXPECT_EQ(gChipInfo.tcpiModeAddr, 0x50);
  EXPECT_EQ(bench.CurrentTarget(), 0xD0);
  EXPECT_EQ(bench.Console(),
            "TCPI_Mode_addr = 0x50\r\n"
            "CMD Chip ID: OV5230, Parameter Chip ID: OV5230\r\nTCPI_Mode_addr = 0x50\r\n");
  EXPECT_EQ(bench.Bus(), (std::vector<std::string>{"W D0: FF C0", "R D0: 52 30 00 04"}));
}

}  // namespace
}  // namespace pdtest
