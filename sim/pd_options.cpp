#include "sim/pd_options.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>

namespace sim {
namespace {

std::optional<std::uint64_t> ParseDigits(std::string_view text, int base) {
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Exactly 2 * N hex digits, first byte first.
template <std::size_t N>
bool ParseHexBytes(std::string_view text, std::array<std::uint8_t, N>& out) {
  if (text.size() != 2 * N) return false;
  std::array<std::uint8_t, N> bytes{};
  for (std::size_t i = 0; i < N; ++i) {
    const auto value = ParseDigits(text.substr(2 * i, 2), 16);
    if (!value) return false;
    bytes[i] = static_cast<std::uint8_t>(*value);
  }
  out = bytes;
  return true;
}

std::string_view WithoutHexPrefix(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
  return text;
}

// An I2C address in 8-bit form: one or two hex digits, bit 0 clear.
bool ParseAddress(std::string_view text, std::uint8_t& out) {
  text = WithoutHexPrefix(text);
  if (text.size() > 2) return false;
  const auto value = ParseDigits(text, 16);
  if (!value || *value == 0 || (*value & 1) != 0) return false;
  out = static_cast<std::uint8_t>(*value);
  return true;
}

// "0x..." is hexadecimal, anything else decimal.
std::optional<std::uint64_t> ParseNumber(std::string_view text) {
  const std::string_view digits = WithoutHexPrefix(text);
  return ParseDigits(digits, digits.size() == text.size() ? 10 : 16);
}

}  // namespace

OptionResult ParsePdOption(PdConfig& config, int argc, const char* const* argv, int& index, std::string& error) {
  const std::string_view name = argv[index];
  static constexpr std::string_view kNames[] = {"--chip",       "--sa",         "--tcpi", "--fw-version",
                                                "--pd-version", "--flash-size", "--flash",
                                                "--erase-time"};
  bool known = false;
  for (const std::string_view candidate : kNames) known = known || candidate == name;
  if (!known) return OptionResult::Unknown;
  std::string text;
  if (!OptionValue(argc, argv, index, text, error)) return OptionResult::Error;
  const std::string_view value = text;
  const auto fail = [&](const char* expected) {
    error = std::string(name) + ": '" + std::string(value) + "' is not " + expected;
    return OptionResult::Error;
  };

  if (name == "--chip") {
    if (!ParseHexBytes(value, config.chipId)) return fail("8 hex digits");
  } else if (name == "--sa") {
    if (!ParseAddress(value, config.address)) return fail("an even, non-zero 8-bit address in hex");
  } else if (name == "--tcpi") {
    std::uint8_t address = 0;
    if (!ParseAddress(value, address)) return fail("an even, non-zero 8-bit address in hex");
    config.tcpiAddress = address;
  } else if (name == "--fw-version") {
    if (!ParseHexBytes(value, config.fwVersion)) return fail("4 hex digits");
  } else if (name == "--pd-version") {
    if (!ParseHexBytes(value, config.pdVersion)) return fail("12 hex digits");
  } else if (name == "--flash-size") {
    const auto kb = ParseDigits(value, 10);
    if (!kb || *kb == 0 || *kb > 16384) return fail("a size in KB from 1 to 16384");
    config.flashSizeKb = static_cast<unsigned>(*kb);
  } else if (name == "--erase-time") {
    const auto us = ParseDigits(value, 10);
    if (!us || *us == 0 || *us > 100'000'000) return fail("a time in microseconds from 1 to 100000000");
    config.eraseTimeUs = *us;
  } else {  // --flash
    if (value.empty()) return fail("a file name");
    config.flashPath = std::string(value);
  }
  index += 2;
  return OptionResult::Taken;
}

std::string FlashSizeWarning(const PdConfig& config) {
  const unsigned byChip = FlashSizeKbForChip(config.chipId);
  if (!config.flashSizeKb || *config.flashSizeKb == byChip) return {};
  char chip[9];
  std::snprintf(chip, sizeof chip, "%02X%02X%02X%02X", config.chipId[0], config.chipId[1], config.chipId[2],
                config.chipId[3]);
  return "--flash-size " + std::to_string(*config.flashSizeKb) + " differs from the " + std::to_string(byChip) +
         " KB that chip " + chip + " reports; the board has a " + std::to_string(*config.flashSizeKb) +
         " KB flash all the same";
}

bool IsPdFaultName(const std::string& fault) {
  const std::string_view name = std::string_view(fault).substr(0, fault.find('='));
  static constexpr std::string_view kFaults[] = {"absent",     "tcpi-absent", "nack-write",     "nack-read",
                                                 "nack-data",  "drop-write",  "power-loss",     "erase-stuck",
                                                 "status-invalid", "wel-stuck", "flip"};
  for (const std::string_view candidate : kFaults) {
    if (candidate == name) return true;
  }
  return false;
}

bool ParsePdFault(PdConfig& config, const std::string& fault, std::string& error) {
  PdFaults& faults = config.faults;
  const auto equals = fault.find('=');
  const std::string name = fault.substr(0, equals);
  const bool hasValue = equals != std::string::npos;
  const std::string value = hasValue ? fault.substr(equals + 1) : std::string();

  if (!IsPdFaultName(fault)) {
    error = "--fault: unknown fault '" + fault + "' (see --help)";
    return false;
  }
  const bool needsValue = name.rfind("nack-", 0) == 0 || name == "drop-write" || name == "power-loss" || name == "flip";
  if (needsValue != hasValue) {
    error =
        needsValue ? "--fault: " + name + " needs a value (" + name + "=N)" : "--fault: " + name + " takes no value";
    return false;
  }

  if (name == "absent") {
    faults.absent = true;
  } else if (name == "tcpi-absent") {
    faults.tcpiAbsent = true;
  } else if (name == "erase-stuck") {
    faults.eraseStuck = true;
  } else if (name == "status-invalid") {
    faults.statusInvalid = true;
  } else if (name == "wel-stuck") {
    faults.welStuck = true;
  } else if (name == "flip") {
    const auto offset = ParseNumber(value);
    if (!offset || *offset > 0xFFFFFFFFu) {
      error = "--fault: flip: '" + value + "' is not a flash offset (decimal, or hex with 0x)";
      return false;
    }
    faults.flips.insert(static_cast<std::uint32_t>(*offset));
  } else {  // a transaction number
    const auto number = ParseDigits(value, 10);
    if (!number || *number == 0) {
      error = "--fault: " + name + ": '" + value + "' is not a transaction number from 1 on";
      return false;
    }
    if (name == "power-loss") {
      faults.powerLoss = std::min(faults.powerLoss.value_or(*number), *number);
    } else if (name == "nack-write") {
      faults.nackWrite.insert(*number);
    } else if (name == "nack-read") {
      faults.nackRead.insert(*number);
    } else if (name == "nack-data") {
      faults.nackData.insert(*number);
    } else {
      faults.dropWrite.insert(*number);
    }
  }
  return true;
}

std::string PdOptionsHelp() {
  return "PD controller:\n"
         "  --chip HHHHHHHH        chip ID bytes 0..3 (default 52300008, a 256 KB flash)\n"
         "  --sa HH                firmware-interface address, 8-bit form (default 80)\n"
         "  --tcpi HH              TCPI-mode address, 8-bit form (default: where the chip's family\n"
         "                         answers: 98 or 9C for models 56 and 57 at --sa 80 or 84;\n"
         "                         4C, 4E, 50 or 52 for families 52 and 58 at --sa CC, CE, D0 or D2;\n"
         "                         otherwise the --sa address)\n"
         "  --fw-version HHHH      firmware version answered to B6 (default 1A05)\n"
         "  --pd-version HHHHHHHHHHHH\n"
         "                         PD version bytes 0..5 answered to E4 E3 E2 E1 E0 DD\n"
         "                         (default 03100102005A)\n"
         "  --flash-size KB        SPI flash size in KB, decimal (default: the size the chip ID's\n"
         "                         size bits give; another size is taken with a warning)\n"
         "  --flash FILE           flash content: read at start when the file exists\n"
         "                         (padded with FF), written back at the end; without a file\n"
         "                         the flash starts with a signed factory firmware. The chip\n"
         "                         runs its firmware only when flash bytes 40..4F are not all FF\n"
         "  --erase-time US        chip erase time in microseconds (default 1.5 ms per KB of flash);\n"
         "                         1 makes the tool's first erase-busy poll find the erase done\n"
         "PD controller faults (--fault NAME, may repeat):\n"
         "  absent                 nothing answers at the firmware address\n"
         "  tcpi-absent            nothing answers TCPI-mode commands\n"
         "  nack-write=N           the N-th write transaction to the firmware address is not acknowledged\n"
         "  nack-read=N            the N-th read transaction to the firmware address is not acknowledged\n"
         "  nack-data=N            the N-th write transaction is acknowledged at its address and not at\n"
         "                         its first data byte\n"
         "  drop-write=N           the N-th write transaction is acknowledged in full and has no effect\n"
         "  power-loss=N           from the N-th write transaction on nothing answers: the chip lost\n"
         "                         power; the flash keeps what it had (an erase that was running\n"
         "                         leaves the 4 KB sectors it had reached erased)\n"
         "  erase-stuck            the erase-busy bit never clears\n"
         "  status-invalid         bridge status bytes have bit 7 clear\n"
         "  wel-stuck              the write-enable bit never clears once set\n"
         "  flip=OFFSET            the flash byte at OFFSET (decimal, or hex with 0x) reads back\n"
         "                         with bit 0 inverted\n";
}

}  // namespace sim
