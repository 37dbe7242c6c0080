// The Linux build's lookup of the kernel's adapters, against small sysfs
// trees laid out as the kernel lays them out: Intel's LPSS adapters below
// their PCI functions, AMD's below ACPI platform devices whose register
// blocks /proc/iomem names.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "i2c/linux/adapters.h"

namespace {

struct FakeAdapter {
  int number;
  const char* name;
  const char* below;  // its folder under sys/devices
};

struct TreeCase {
  const char* title;
  const char* vendor;  // of PCI 0000:00:00.0; nullptr: no such file
  std::vector<FakeAdapter> adapters;
  const char* iomem;
  uint8_t channel;
  int expectedAdapter;  // i2c-N /i2c channel finds; -1 none
  const char* listed;   // what the message lists
};

constexpr const char* kDw = "Synopsys DesignWare I2C adapter";
constexpr const char* kAmdIomem =
    "fedc2000-fedc2fff : AMDI0010:00\n  fedc2000-fedc2fff : AMDI0010:00 AMDI0010:00\n"
    "fedc3000-fedc3fff : AMDI0010:01\n";

const std::vector<TreeCase> kCases = {
    {"intel channel 2", "0x8086",
     {{0, kDw, "pci0000:00/0000:00:15.0/i2c_designware.0"}, {1, kDw, "pci0000:00/0000:00:15.2/i2c_designware.2"}},
     "", 2, 1, "i2c-0 (0000:00:15.0), i2c-1 (0000:00:15.2)"},
    {"intel channel 0", "0x8086", {{0, kDw, "pci0000:00/0000:00:15.0/i2c_designware.0"}}, "", 0, 0,
     "i2c-0 (0000:00:15.0)"},
    {"intel channels wrap onto the eight functions", "0x8086",
     {{3, kDw, "pci0000:00/0000:00:15.2/i2c_designware.2"}}, "", 10, 3, "i2c-3 (0000:00:15.2)"},
    {"intel function without an adapter", "0x8086", {{0, kDw, "pci0000:00/0000:00:15.0/i2c_designware.0"}}, "",
     1, -1, "i2c-0 (0000:00:15.0)"},
    {"intel adapter of another driver below the function", "0x8086",
     {{4, "i915 gmbus dpb", "pci0000:00/0000:00:15.1"}}, "", 1, -1, "none"},
    {"intel pci function on another bus", "0x8086",
     {{2, kDw, "pci0000:00/0000:00:1c.0/0000:01:15.0/i2c_designware.0"}}, "", 0, -1, "i2c-2 (0000:01:15.0)"},
    {"amd channel 1 by its base", "0x1022",
     {{0, kDw, "platform/AMDI0010:00"}, {1, kDw, "platform/AMDI0010:01"}}, kAmdIomem, 1, 1,
     "i2c-0 (AMDI0010:00 at FEDC2000), i2c-1 (AMDI0010:01 at FEDC3000)"},
    {"amd channel without a controller", "0x1022", {{0, kDw, "platform/AMDI0010:00"}}, kAmdIomem, 3, -1,
     "i2c-0 (AMDI0010:00 at FEDC2000)"},
    {"amd channel beyond the table", "0x1022", {{0, kDw, "platform/AMDI0010:00"}}, kAmdIomem, 6, -1,
     "i2c-0 (AMDI0010:00 at FEDC2000)"},
    {"amd addresses hidden from a user", "0x1022", {{0, kDw, "platform/AMDI0010:00"}},
     "00000000-00000000 : AMDI0010:00\n", 0, -1, "i2c-0 (AMDI0010:00)"},
    {"no host bridge", nullptr, {{0, kDw, "pci0000:00/0000:00:15.0/i2c_designware.0"}}, "", 0, -1,
     "i2c-0 (0000:00:15.0)"},
    {"no adapters at all", "0x8086", {}, "", 0, -1, "none"},
};

void MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    mkdir(path.substr(0, slash).c_str(), 0755);
  }
  mkdir(path.c_str(), 0755);
}

void WriteFile(const std::string& path, const std::string& text) {
  MakeFolders(path.substr(0, path.rfind('/')));
  std::ofstream(path) << text;
}

class FakeSysfs : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vexa-sysfs-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
  }
  void TearDown() override { ASSERT_EQ(system(("rm -rf " + root_).c_str()), 0); }

  // The adapter's folder below its device, and the bus's link to it, as sysfs has them.
  void AddAdapter(const FakeAdapter& adapter) {
    const std::string name = "i2c-" + std::to_string(adapter.number);
    const std::string folder = root_ + "/sys/devices/" + adapter.below + "/" + name;
    WriteFile(folder + "/name", std::string(adapter.name) + "\n");
    MakeFolders(root_ + "/sys/bus/i2c/devices");
    ASSERT_EQ(symlink(folder.c_str(), (root_ + "/sys/bus/i2c/devices/" + name).c_str()), 0);
  }

  std::string root_;
};

TEST_F(FakeSysfs, ChannelFindsItsAdapter) {
  for (const TreeCase& c : kCases) {
    SCOPED_TRACE(c.title);
    TearDown();
    SetUp();
    if (c.vendor != nullptr) {
      WriteFile(root_ + "/sys/bus/pci/devices/0000:00:00.0/vendor", std::string(c.vendor) + "\n");
    }
    WriteFile(root_ + "/proc/iomem", c.iomem);
    for (const FakeAdapter& adapter : c.adapters) AddAdapter(adapter);

    const std::vector<LinuxI2cAdapter> adapters = ListDesignWareAdapters(root_);
    std::string wanted;
    const int found = FindChannelAdapter(adapters, ReadPlatformKind(root_), c.channel, &wanted);
    EXPECT_EQ(found < 0 ? -1 : adapters[static_cast<size_t>(found)].number, c.expectedAdapter);
    EXPECT_EQ(DescribeAdapters(adapters), c.listed);
    EXPECT_FALSE(wanted.empty());
  }
}

TEST_F(FakeSysfs, BoundDriverNamesTheDriverAtTheAddress) {
  const struct {
    const char* device;  // the device folder created; nullptr: none
    const char* driver;  // its driver link's target; nullptr: unbound
    int adapter;
    uint8_t address7;
    const char* expected;
  } cases[] = {
      {"1-0040", "../../../../bus/i2c/drivers/at24", 1, 0x40, "at24"},
      {"1-0040", nullptr, 1, 0x40, ""},
      {"1-0040", "../../../../bus/i2c/drivers/at24", 0, 0x40, ""},
      {"12-0008", "../../../../bus/i2c/drivers/ucsi_ccg", 12, 0x08, "ucsi_ccg"},
      {nullptr, nullptr, 1, 0x40, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.device ? c.device : "none") + " " + (c.driver ? c.driver : "unbound"));
    TearDown();
    SetUp();
    if (c.device != nullptr) {
      const std::string folder = root_ + "/sys/bus/i2c/devices/" + c.device;
      MakeFolders(folder);
      if (c.driver != nullptr) {
        ASSERT_EQ(symlink(c.driver, (folder + "/driver").c_str()), 0);
      }
    }
    EXPECT_EQ(BoundDriver(root_, c.adapter, c.address7), c.expected);
  }
  EXPECT_EQ(I2cDeviceName(12, 0x08), "12-0008");
}

}  // namespace
