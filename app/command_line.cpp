#include "app/command_line.h"

#include <stddef.h>
#include <stdint.h>

#include "app/board_record.h"
#include "app/exit_codes.h"
#include "app/firmware_image.h"
#include "app/option_values.h"
#include "app/settings.h"
#include "i2c/discovery.h"
#include "i2c/i2c_host.h"
#include "pd/chip_info.h"
#include "pd/pd_settings.h"
#include "pd/version.h"
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
  Log,
};

struct OptionEntry {
  const char* text;
  size_t compared;  // leading characters that must match; the rest is ignored
  OptionEffect effect;
  bool takesValue;
  uint32_t largest;  // of its value
};

// Tried in this order; the first match wins. An address or port is one
// byte, a chip ID two; a channel is one the platform can have.
constexpr OptionEntry kOptions[] = {
    {"/cp", 3, OptionEffect::ConfigPort, true, 0xFF},
    {"/ov", 3, OptionEffect::VersionOnly, false, 0},
    {"/v", 2, OptionEffect::ShowPdVersion, false, 0},
    {"/db", 3, OptionEffect::Debug, false, 0},
    {"/id", 3, OptionEffect::ExpectedChipId, true, 0xFFFF},
    {"/t", 2, OptionEffect::TcpiModeAddress, true, 0xFF},
    {"/sa", 3, OptionEffect::SlaveAddress, true, 0xFF},
    {"/i2c", 4, OptionEffect::Channel, true, kI2cChannelCount - 1u},
    {"/force", 6, OptionEffect::Force, false, 0},
    {"/log", 4, OptionEffect::Log, true, 0},
    {"/dev/", 5, OptionEffect::DeviceNode, false, 0},  // the argument is the value
    {"/backup", 7, OptionEffect::Backup, true, 0},
    {"/dump", 5, OptionEffect::Dump, true, 0},
    {"/check", 6, OptionEffect::Check, false, 0},
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

// A word with a dot names a file, one in the wrong format; any other word
// is a stray one, most often a value that lost its option.
bool LooksLikeFileName(const char* argument) {
  for (const char* p = argument; *p != '\0'; ++p) {
    if (*p == '.') return true;
  }
  return false;
}

void ApplyOption(OptionEffect effect, uint32_t value, const char* argument) {
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
    // Names, not values: FindLogName and ApplyFileOption take them.
    case OptionEffect::Log:
    case OptionEffect::Backup:
    case OptionEffect::Dump: break;
  }
}

// The options whose value is a file name, taken as typed. false for any
// other option.
bool ApplyFileOption(OptionEffect effect, const char* name) {
  if (effect == OptionEffect::Backup) gSettings.backupFile = name;
  if (effect == OptionEffect::Dump) gSettings.dumpFile = name;
  return effect == OptionEffect::Backup || effect == OptionEffect::Dump || effect == OptionEffect::Log;
}

// The file of /log, looked for before the arguments are read, so that a
// run whose command line is refused further on is recorded too. Values are
// skipped as the parse skips them; the last /log wins.
const char* FindLogName(int argc, const char* const* argv) {
  const char* name = nullptr;
  for (int i = 1; i < argc; ++i) {
    const OptionEntry* option = argv[i][0] == '/' ? FindOption(argv[i]) : nullptr;
    if (option == nullptr || !option->takesValue || i + 1 >= argc) continue;
    if (option->effect == OptionEffect::Log) name = argv[i + 1][0] != '\0' ? argv[i + 1] : nullptr;
    ++i;
  }
  return name;
}

// Why an argument was refused: the line after "Wrong Parameter!" names it.
enum class Refusal : uint8_t {
  UnknownOption,
  MissingValue,
  NotHexadecimal,
  OutOfRange,
  StrayWord,
  NotImageName,
  ReadoutMismatch,
  BackupOverImage,
};

void PrintRefusal(Refusal refusal, const char* argument, const char* value, uint32_t largest) {
  switch (refusal) {
    case Refusal::UnknownOption:
      StdPrintf("%s: no such option (options are lower case, see below).\n", argument);
      break;
    case Refusal::MissingValue:
      StdPrintf("%s: a value must follow it.\n", argument);
      break;
    case Refusal::NotHexadecimal:
      StdPrintf("%s %s: the value must be hexadecimal, digits 0-9 and A-F, optionally after 0x.\n",
                argument, value);
      break;
    case Refusal::OutOfRange:
      StdPrintf("%s %s: the value must be 0 to %X.\n", argument, value, static_cast<unsigned>(largest));
      break;
    case Refusal::StrayWord:
      StdPrintf("%s: neither an option nor an image name (FILE.bin); a value goes right after its "
                "option, as in /id 5230.\n",
                argument);
      break;
    case Refusal::NotImageName:
      StdPrintf("%s: an image's name must end in .bin, in lower case.\n", argument);
      break;
    case Refusal::ReadoutMismatch:
      StdPrintf("/backup FILE and /check go with an image, /dump FILE with none; one at a time, not with /ov.\n");
      break;
    case Refusal::BackupOverImage:
      StdPrintf("/backup %s would replace the image it is taken for.\n", argument);
      break;
  }
}

// The message and the refusal in red on the current background, the usage
// in light grey.
int RejectArgument(Refusal refusal, const char* argument, const char* value = "", uint32_t largest = 0) {
  PlatformConsoleSetAttribute(static_cast<uint8_t>((PlatformConsoleAttribute() & 0xF0) | kRedText));
  ConsolePrint(u"\n\nWrong Parameter! Please try again!\n");
  PrintRefusal(refusal, argument, value, largest);
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
  if (modes > 1 || gSettings.versionOnly || dump == image.loaded) return RejectArgument(Refusal::ReadoutMismatch, "");
  if (backup && SameText(gSettings.backupFile, image.fileName)) {
    return RejectArgument(Refusal::BackupOverImage, gSettings.backupFile);
  }
  return kExitSuccess;
}

}  // namespace

void ResetRunRecords() {
  gSettings = ToolSettings{};
  gPdSettings = PdSettings{};
  gChipInfo = ChipInfo{};
  gI2cHost = I2cHost{};
  gPdVersionRead = PdVersionReading{};
  ResetBoardRecord();
}

int ParseCommandLine(int argc, const char* const* argv, FirmwareImage& image) {
  gSettings.logName = FindLogName(argc, argv);
  int i = 1;
  while (i < argc) {
    const char* argument = argv[i];
    if (argument[0] != '/') {
      // The file is read here, not after the parse: its texts come before
      // those of any later argument, and a file that cannot be used stops
      // the parse where it stands.
      if (EndsInBin(argument)) {
        RecordStep(RunStep::Image);
        if (!LoadFirmwareImage(argument, image)) return kExitBadArgument;
        RecordStep(RunStep::CommandLine);
        ++i;
        continue;
      }
      // Not an image name either: no option begins without "/", so the
      // argument is refused here.
      if (!LooksLikeFileName(argument)) return RejectArgument(Refusal::StrayWord, argument);
      StdPrintf("File format is incorrect, please re-confirm it.\n");
      StdPrintf("File format is \"xxx.bin\"\n");
      return RejectArgument(Refusal::NotImageName, argument);
    }

    const OptionEntry* option = FindOption(argument);
    if (option == nullptr) return RejectArgument(Refusal::UnknownOption, argument);

    if (!option->takesValue) {
      ApplyOption(option->effect, 0, argument);
      ++i;
      continue;
    }
    // The value is whatever argument follows, even one that looks like an
    // option, and it must be a value of this option as it stands: nothing
    // is taken from a value that is not.
    if (i + 1 >= argc) return RejectArgument(Refusal::MissingValue, argument);
    const char* text = argv[i + 1];
    if (ApplyFileOption(option->effect, text)) {
      if (text[0] == '\0') return RejectArgument(Refusal::MissingValue, argument);
      i += 2;
      continue;
    }
    uint32_t value = 0;
    switch (CheckOptionValue(text, option->largest, &value)) {
      case ValueVerdict::Accepted: break;
      case ValueVerdict::NotHexadecimal:
        return RejectArgument(Refusal::NotHexadecimal, argument, text);
      case ValueVerdict::OutOfRange:
        return RejectArgument(Refusal::OutOfRange, argument, text, option->largest);
    }
    ApplyOption(option->effect, value, argument);
    i += 2;
  }
  return CheckReadoutOptions(image);
}
