#include "app/command_line.h"

#include <stddef.h>
#include <stdint.h>

#include "app/exit_codes.h"
#include "app/firmware_image.h"
#include "app/settings.h"
#include "i2c/i2c_host.h"
#include "pd/chip_info.h"
#include "pd/pd_settings.h"
#include "platform/console_text.h"
#include "platform/platform.h"
#include "platform/strings.h"

namespace {

constexpr uint8_t kRedText = 0x04;
constexpr uint8_t kLightGreyText = 0x07;

enum class OptionEffect : uint8_t {
  ConfigPort,
  VersionOnly,
  ShowPdVersion,
  Debug,
  ExpectedChipId,
  TcpiModeAddress,
  SlaveAddress,
  Channel,
  Force,
  DeviceNode,
  Backup,
  Dump,
  Check,
};

struct OptionEntry {
  const char* text;
  size_t compared;  // leading characters that must match; the rest is ignored
  OptionEffect effect;
  bool takesValue;
};

// Tried in this order; the first match wins.
constexpr OptionEntry kOptions[] = {
    {"/cp", 3, OptionEffect::ConfigPort, true},
    {"/ov", 3, OptionEffect::VersionOnly, false},
    {"/v", 2, OptionEffect::ShowPdVersion, false},
    {"/db", 3, OptionEffect::Debug, false},
    {"/id", 3, OptionEffect::ExpectedChipId, true},
    {"/t", 2, OptionEffect::TcpiModeAddress, true},
    {"/sa", 3, OptionEffect::SlaveAddress, true},
    {"/i2c", 4, OptionEffect::Channel, true},
    {"/force", 6, OptionEffect::Force, false},
    {"/dev/", 5, OptionEffect::DeviceNode, false},  // the argument is the value
    {"/backup", 7, OptionEffect::Backup, true},
    {"/dump", 5, OptionEffect::Dump, true},
    {"/check", 6, OptionEffect::Check, false},
};

const OptionEntry* FindOption(const char* argument) {
  for (const OptionEntry& option : kOptions) {
    if (StrCompareN8(argument, option.text, option.compared) == 0) return &option;
  }
  return nullptr;
}

bool EndsInBin(const char* argument) {
  const size_t length = StrLength8(argument);
  return length >= 4 && StrCompareN8(argument + length - 4, ".bin", 4) == 0;
}

void ApplyOption(OptionEffect effect, int32_t value, const char* argument) {
  switch (effect) {
    case OptionEffect::ConfigPort: gSettings.configPort = static_cast<uint16_t>(value); break;
    case OptionEffect::VersionOnly: gSettings.versionOnly = true; break;
    case OptionEffect::ShowPdVersion: gSettings.showPdVersion = true; break;
    case OptionEffect::Debug: gPdSettings.debug = true; break;
    case OptionEffect::ExpectedChipId:
      gSettings.expectedChipId = static_cast<uint16_t>(value);
      break;
    case OptionEffect::TcpiModeAddress:
      gChipInfo.tcpiModeAddr = static_cast<uint8_t>(value);
      break;
    case OptionEffect::SlaveAddress: gChipInfo.slaveAddr = static_cast<uint8_t>(value); break;
    case OptionEffect::Channel: gSettings.channel = static_cast<uint8_t>(value); break;
    case OptionEffect::Force: gSettings.force = true; break;
    case OptionEffect::DeviceNode: gSettings.deviceNode = argument; break;
    case OptionEffect::Check: gSettings.check = true; break;
    case OptionEffect::Backup:
    case OptionEffect::Dump: break;
  }
}

// The options whose value is a file name, taken as typed. false for any
// other option.
bool ApplyFileOption(OptionEffect effect, const char* name) {
  if (effect == OptionEffect::Backup) gSettings.backupFile = name;
  if (effect == OptionEffect::Dump) gSettings.dumpFile = name;
  return effect == OptionEffect::Backup || effect == OptionEffect::Dump;
}

// The message in red on the current background, the usage in light grey.
int RejectArgument() {
  PlatformConsoleSetAttribute(static_cast<uint8_t>((PlatformConsoleAttribute() & 0xF0) | kRedText));
  ConsolePrint(u"\n\nWrong Parameter! Please try again!\n");
  PlatformConsoleSetAttribute(
      static_cast<uint8_t>((PlatformConsoleAttribute() & 0xF0) | kLightGreyText));
  PrintUsage();
  return kExitBadArgument;
}

bool SameText(const char* a, const char* b) {
  const size_t length = StrLength8(a);
  return length == StrLength8(b) && StrCompareN8(a, b, length) == 0;
}

// /backup goes with an update and /check with an image, /dump with none;
// one of them at a time, and none with /ov, which ends before the flash.
// A backup must not replace the image it is taken for.
int CheckReadoutOptions(const FirmwareImage& image) {
  const bool backup = gSettings.backupFile != nullptr;
  const bool dump = gSettings.dumpFile != nullptr;
  const int modes = (backup ? 1 : 0) + (dump ? 1 : 0) + (gSettings.check ? 1 : 0);
  if (modes == 0) return kExitSuccess;
  if (modes > 1 || gSettings.versionOnly || dump == image.loaded) {
    StdPrintf("\n/backup FILE and /check go with an image, /dump FILE with none; one at a time, not with /ov.\n");
    return RejectArgument();
  }
  if (backup && SameText(gSettings.backupFile, image.fileName)) {
    StdPrintf("\n/backup %s would replace the image it is taken for.\n", gSettings.backupFile);
    return RejectArgument();
  }
  return kExitSuccess;
}

}  // namespace

void ResetRunRecords() {
  gSettings = ToolSettings{};
  gPdSettings = PdSettings{};
  gChipInfo = ChipInfo{};
  gI2cHost = I2cHost{};
}

int ParseCommandLine(int argc, const char* const* argv, FirmwareImage& image) {
  int i = 1;
  while (i < argc) {
    const char* argument = argv[i];
    if (argument[0] != '/') {
      // The file is read here, not after the parse: its texts come before
      // those of any later argument, and a file that cannot be used stops
      // the parse where it stands.
      if (EndsInBin(argument)) {
        if (!LoadFirmwareImage(argument, image)) return kExitBadArgument;
        ++i;
        continue;
      }
      // Not a file name either; no option begins without "/", so the option
      // lookup below rejects it.
      StdPrintf("File format is incorrect, please re-confirm it.\n");
      StdPrintf("File format is \"xxx.bin\"\n");
    }

    const OptionEntry* option = FindOption(argument);
    if (option == nullptr) return RejectArgument();

    if (!option->takesValue) {
      ApplyOption(option->effect, 0, argument);
      ++i;
      continue;
    }
    // The value is whatever argument follows, even one that looks like an
    // option; an option with nothing after it is rejected.
    if (i + 1 >= argc) return RejectArgument();
    if (!ApplyFileOption(option->effect, argv[i + 1])) {
      ApplyOption(option->effect, ParseHexValue(argv[i + 1]), argument);
    }
    i += 2;
  }
  return CheckReadoutOptions(image);
}
