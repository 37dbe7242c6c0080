#include "i2c/linux/adapters.h"

#include "i2c/amd_fch.h"

#include <dirent.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>

namespace {

constexpr unsigned long kVendorIntel = 0x8086;
constexpr unsigned long kVendorAmd = 0x1022;
constexpr const char kDesignWareName[] = "Synopsys DesignWare I2C adapter";
constexpr const char kAdapterPrefix[] = "i2c-";

std::string ReadLine(const std::string& path) {
  std::string text;
  if (FILE* file = fopen(path.c_str(), "r")) {
    char buffer[256];
    if (fgets(buffer, sizeof buffer, file) != nullptr) text = buffer;
    fclose(file);
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::string Resolved(const std::string& path) {
  char buffer[PATH_MAX];
  return realpath(path.c_str(), buffer) != nullptr ? std::string(buffer) : std::string();
}

// The folders above the adapter's own, nearest first, up to sysfs's devices/.
std::vector<std::string> ParentsOf(const std::string& adapterPath) {
  std::vector<std::string> names;
  std::string path = adapterPath;
  size_t slash = path.rfind('/');
  while (slash != std::string::npos && slash > 0) {
    path.resize(slash);
    slash = path.rfind('/');
    const std::string name = path.substr(slash + 1);
    if (name == "devices") break;
    names.push_back(name);
  }
  return names;
}

// /proc/iomem's lines "  fedc3000-fedc3fff : AMDI0010:01": the start of the
// first range each name has.
std::vector<std::pair<std::string, uint64_t>> ReadIomem(const std::string& root) {
  std::vector<std::pair<std::string, uint64_t>> ranges;
  FILE* file = fopen((root + "/proc/iomem").c_str(), "r");
  if (file == nullptr) return ranges;
  char line[512];
  while (fgets(line, sizeof line, file) != nullptr) {
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    const size_t colon = text.find(" : ");
    if (colon == std::string::npos) continue;
    ranges.emplace_back(text.substr(colon + 3), strtoull(text.c_str(), nullptr, 16));
  }
  fclose(file);
  return ranges;
}

uint64_t BaseOf(const std::vector<std::string>& parents,
                const std::vector<std::pair<std::string, uint64_t>>& iomem) {
  for (const std::string& parent : parents) {
    for (const auto& [name, start] : iomem) {
      if (name == parent) return start;
    }
  }
  return 0;
}

}  // namespace

std::vector<LinuxI2cAdapter> ListDesignWareAdapters(const std::string& root) {
  std::vector<LinuxI2cAdapter> adapters;
  const std::string devices = root + "/sys/bus/i2c/devices";
  DIR* folder = opendir(devices.c_str());
  if (folder == nullptr) return adapters;
  const auto iomem = ReadIomem(root);
  while (const dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    if (name.rfind(kAdapterPrefix, 0) != 0) continue;
    const std::string path = devices + "/" + name;
    if (ReadLine(path + "/name").rfind(kDesignWareName, 0) != 0) continue;
    LinuxI2cAdapter adapter;
    adapter.number = atoi(name.c_str() + sizeof kAdapterPrefix - 1);
    adapter.parents = ParentsOf(Resolved(path));
    adapter.mmioBase = BaseOf(adapter.parents, iomem);
    adapters.push_back(adapter);
  }
  closedir(folder);
  std::sort(adapters.begin(), adapters.end(),
            [](const LinuxI2cAdapter& a, const LinuxI2cAdapter& b) { return a.number < b.number; });
  return adapters;
}

PlatformKind ReadPlatformKind(const std::string& root) {
  const unsigned long vendor = strtoul(ReadLine(root + "/sys/bus/pci/devices/0000:00:00.0/vendor").c_str(),
                                       nullptr, 16);
  if (vendor == kVendorIntel) return PlatformKind::Intel;
  if (vendor == kVendorAmd) return PlatformKind::Amd;
  return PlatformKind::Unknown;
}

int FindChannelAdapter(const std::vector<LinuxI2cAdapter>& adapters, PlatformKind kind, uint8_t channel,
                       std::string* wanted) {
  constexpr uint8_t kAmdChannels = sizeof(kAmdI2cBases) / sizeof(kAmdI2cBases[0]);
  char text[64];
  int found = -1;
  if (kind == PlatformKind::Intel) {
    char function[16];
    snprintf(function, sizeof function, "0000:00:15.%u", channel & 7u);
    snprintf(text, sizeof text, "below PCI %s", function);
    for (size_t i = 0; i < adapters.size() && found < 0; ++i) {
      const auto& parents = adapters[i].parents;
      if (std::find(parents.begin(), parents.end(), function) != parents.end()) found = static_cast<int>(i);
    }
  } else if (kind == PlatformKind::Amd && channel < kAmdChannels) {
    snprintf(text, sizeof text, "at %llX", static_cast<unsigned long long>(kAmdI2cBases[channel]));
    for (size_t i = 0; i < adapters.size() && found < 0; ++i) {
      if (adapters[i].mmioBase == kAmdI2cBases[channel]) found = static_cast<int>(i);
    }
  } else if (kind == PlatformKind::Amd) {
    snprintf(text, sizeof text, "for it (AMD Channels 0 to %u)", kAmdChannels - 1u);
  } else {
    snprintf(text, sizeof text, "known for this platform; name its node, e.g. /dev/i2c-0");
  }
  if (wanted != nullptr) *wanted = text;
  return found;
}

std::string DescribeAdapter(const LinuxI2cAdapter& adapter) {
  std::string parent = adapter.parents.empty() ? "?" : adapter.parents.front();
  // The PCI function says more than the platform device the LPSS driver makes.
  for (const std::string& name : adapter.parents) {
    if (name.size() == 12 && name[4] == ':' && name[7] == ':' && name[10] == '.') {
      parent = name;
      break;
    }
  }
  if (adapter.mmioBase == 0) return parent;
  char base[24];
  snprintf(base, sizeof base, " at %llX", static_cast<unsigned long long>(adapter.mmioBase));
  return parent + base;
}

std::string DescribeAdapters(const std::vector<LinuxI2cAdapter>& adapters) {
  if (adapters.empty()) return "none";
  std::string text;
  for (const LinuxI2cAdapter& adapter : adapters) {
    text += (text.empty() ? "i2c-" : ", i2c-") + std::to_string(adapter.number) + " (" +
            DescribeAdapter(adapter) + ")";
  }
  return text;
}

std::string I2cDeviceName(int number, uint8_t address7) {
  char name[32];
  snprintf(name, sizeof name, "%d-%04x", number, address7);
  return name;
}

std::string BoundDriver(const std::string& root, int number, uint8_t address7) {
  const std::string link = root + "/sys/bus/i2c/devices/" + I2cDeviceName(number, address7) + "/driver";
  char target[PATH_MAX];
  const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
  if (length <= 0) return "";
  target[length] = 0;
  const char* slash = strrchr(target, '/');
  return slash != nullptr ? slash + 1 : target;
}
