#include "sim/board_options.h"

#include "sim/lpss_generations.h"
#include "sim/pd_options.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace sim {

namespace {

// Every fault the board itself knows, by its --fault name.
struct BoardFault {
  const char* name;
  const char* help;
  void (*apply)(BoardConfig&);
};

constexpr BoardFault kBoardFaults[] = {
    {"controller-dead", "the I2C controller never reports enabled",
     [](BoardConfig& c) { c.controllerDead = true; }},
    {"clock-fail", "the real-time clock cannot be read",
     [](BoardConfig& c) { c.clockFail = true; }},
    {"disable-stuck", "the I2C controller never reports disabled",
     [](BoardConfig& c) { c.controllerFaults.neverDisables = true; }},
    {"scl-held", "SCL is held low: queued bytes never leave the transmit FIFO",
     [](BoardConfig& c) { c.controllerFaults.sclHeld = true; }},
    {"tx-abort-stuck", "the transmit abort bit stays set however often it is cleared",
     [](BoardConfig& c) { c.controllerFaults.txAbortStuck = true; }},
    {"tx-fifo-full", "the transmit FIFO never reports room",
     [](BoardConfig& c) { c.controllerFaults.txFifoFull = true; }},
    {"rx-full-stuck", "the receive FIFO always reports full",
     [](BoardConfig& c) { c.controllerFaults.rxFullStuck = true; }},
    {"master-busy", "the I2C controller always reports master activity",
     [](BoardConfig& c) { c.controllerFaults.masterActivityStuck = true; }},
    {"rx-lost", "bytes read on the bus never reach the receive FIFO",
     [](BoardConfig& c) { c.controllerFaults.rxDataLost = true; }},
    {"not-dw", "the controller's IC_COMP_TYPE reads a DesignWare UART's type",
     [](BoardConfig& c) { c.controllerFaults.notDw = true; }},
    {"lpss-uart", "Intel: the LPSS capabilities register reports a UART block",
     [](BoardConfig& c) { c.controllerFaults.lpssUart = true; }},
    {"decode-off", "Intel: the I2C functions' memory decoding is off",
     [](BoardConfig& c) { c.decodeOff = true; }},
    {"d3hot", "Intel: the I2C functions are in D3hot", [](BoardConfig& c) { c.d3hot = true; }},
    {"no-soft-reset", "Intel: the I2C functions lose their BARs and command register leaving D3hot",
     [](BoardConfig& c) { c.noSoftReset = true; }},
    {"aoac-off", "AMD: the I2C controllers have no power (AOAC)",
     [](BoardConfig& c) { c.aoacOff = true; }},
    {"aoac-stuck", "AMD: the I2C controllers have no power and never get it",
     [](BoardConfig& c) { c.aoacStuck = true; }},
};

bool ApplyBoardFault(BoardConfig& config, const std::string& name, std::string& error) {
  for (const BoardFault& fault : kBoardFaults) {
    if (name == fault.name) {
      fault.apply(config);
      return true;
    }
  }
  if (IsPdFaultName(name)) return config.pd.has_value() && ParsePdFault(*config.pd, name, error);
  error = "--fault: unknown fault '" + name + "' (see --help)";
  return false;
}

bool ParsePlatform(const std::string& text, PlatformType& platform) {
  if (text == "intel") {
    platform = PlatformType::Intel;
  } else if (text == "amd") {
    platform = PlatformType::Amd;
  } else if (text == "unknown") {
    platform = PlatformType::Unknown;
  } else {
    return false;
  }
  return true;
}

// Decimal 0 to 255, digits only.
bool ParseChannel(const std::string& text, unsigned& channel) {
  if (text.empty() || text.size() > 3) return false;
  unsigned value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > 255) return false;
  channel = value;
  return true;
}

// "2=C1011000": BAR0 of function 0:21.2 as its registers hold it, up to 16
// hex digits (a 64-bit BAR holds the upper half in the next register).
bool ParseBar0(const std::string& text, BoardConfig& config) {
  if (text.size() < 3 || text[1] != '=' || text[0] < '0' || text[0] > '7' || text.size() > 18) return false;
  std::uint64_t value = 0;
  for (const char c : text.substr(2)) {
    const char* digits = "0123456789ABCDEF";
    const char upper = c >= 'a' && c <= 'f' ? static_cast<char>(c - 'a' + 'A') : c;
    const char* found = upper != '\0' ? std::strchr(digits, upper) : nullptr;
    if (found == nullptr) return false;
    value = value << 4 | static_cast<std::uint64_t>(found - digits);
  }
  config.intelBar0[static_cast<std::size_t>(text[0] - '0')] = value;
  return true;
}

}  // namespace

bool OptionValue(int argc, const char* const* argv, int index, std::string& value, std::string& error) {
  const std::string option = argv[index];
  if (index + 1 >= argc) {
    error = option + " needs a value";
    return false;
  }
  const std::string next = argv[index + 1];
  if (next.rfind("--", 0) == 0) {
    error = option + " needs a value, not the option '" + next + "'";
    return false;
  }
  value = next;
  return true;
}

OptionResult ParseBoardOption(BoardConfig& config, int argc, const char* const* argv, int& index,
                              std::string& error) {
  const std::string option = argv[index];
  const bool takesValue = option == "--platform" || option == "--pd-channel" || option == "--lpss" ||
                          option == "--fault" || option == "--trace" || option == "--bar0" ||
                          option == "--smbios";
  if (!takesValue) {
    return config.pd.has_value() ? ParsePdOption(*config.pd, argc, argv, index, error) : OptionResult::Unknown;
  }
  std::string value;
  if (!OptionValue(argc, argv, index, value, error)) return OptionResult::Error;
  if (option == "--platform") {
    if (!ParsePlatform(value, config.platform)) {
      error = "--platform: unknown platform '" + value + "' (intel, amd or unknown)";
      return OptionResult::Error;
    }
  } else if (option == "--pd-channel") {
    if (!ParseChannel(value, config.pdChannel)) {
      error = "--pd-channel: '" + value + "' is not a decimal channel number from 0 to 255";
      return OptionResult::Error;
    }
  } else if (option == "--lpss") {
    if (FindLpssGeneration(value) == nullptr) {
      error = "--lpss: unknown generation '" + value + "' (see --help)";
      return OptionResult::Error;
    }
    config.lpss = value;
  } else if (option == "--bar0") {
    if (!ParseBar0(value, config)) {
      error = "--bar0: '" + value + "' is not F=HHHHHHHH (function 0 to 7, the BAR's hex value)";
      return OptionResult::Error;
    }
  } else if (option == "--fault") {
    if (!ApplyBoardFault(config, value, error)) return OptionResult::Error;
  } else if (option == "--smbios") {
    if (!ParseSmbiosOption(config.smbios, value, error)) return OptionResult::Error;
  } else {
    if (value.empty()) {
      error = "--trace needs a file name";
      return OptionResult::Error;
    }
    config.busTracePath = value;
  }
  index += 2;
  return OptionResult::Taken;
}

std::string BoardOptionsHelp() {
  std::string help =
      "  --platform intel|amd|unknown\n"
      "                       host bridge vendor 0x8086 with I2C controllers at PCI 0:21.0-3,\n"
      "                       0x1022 with controllers at fixed addresses, or no host bridge\n"
      "                       (default intel)\n"
      "  --pd-channel N       the controller the PD controller is wired to (decimal, default 0):\n"
      "                       0 to 3 on Intel (0 to 2 with spt-h), 0 to 5 on AMD\n"
      "  --lpss NAME          Intel: the PCH generation of the I2C functions at 0:21.f, giving\n"
      "                       their device IDs and input clock (default " +
      std::string(kDefaultLpss) + "):\n";
  for (const LpssGeneration& generation : LpssGenerations()) {
    char line[96];
    std::snprintf(line, sizeof line, "      %-11s%s: %04X, %u MHz\n", generation.name, generation.part,
                  generation.firstDeviceId, static_cast<unsigned>(generation.clockHz / 1'000'000));
    help += line;
  }
  help +=
      "  --bar0 F=HHHHHHHH    Intel: BAR0 of function 0:21.F as its registers hold it, flag bits\n"
      "                       included (e.g. where firmware placed it; default FE028004,\n"
      "                       FE029004, FE02A004 and 4017002004 for functions 0 to 3)\n"
      "  --trace FILE         write one line per I2C bus transaction to FILE,\n"
      "                       e.g. \"W 80: FF F8 00 00\", \"R 80: 52 30 00 00\", \"W 80: NACK\"\n"
      "  --smbios TEXT        what the firmware's SMBIOS table says, as QEMU's -smbios takes it;\n"
      "                       may repeat: type=1,manufacturer=M,product=P,serial=S,uuid=U and\n"
      "                       type=2,manufacturer=M,product=P,serial=S (\",,\" is a comma), or\n"
      "                       none for no table (default: VEXA, Simulated Board, no serials)\n"
      "  --fault NAME         make the board misbehave; may repeat, faults add up:\n";
  for (const BoardFault& fault : kBoardFaults) {
    std::string line = "      ";
    line += fault.name;
    line.append(line.size() < 23 ? 23 - line.size() : 1, ' ');
    help += line + fault.help + "\n";
  }
  return help + PdOptionsHelp();
}

std::vector<std::string> BoardFaultNames() {
  std::vector<std::string> names;
  for (const BoardFault& fault : kBoardFaults) names.emplace_back(fault.name);
  return names;
}

}  // namespace sim
