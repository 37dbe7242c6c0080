// The tool's fixed console texts as they reach standard output (CR LF line
// ends), for byte-for-byte comparisons.
#pragma once

#include <fstream>
#include <string>

namespace vexa_test {

// The usage text, kept once for every test that expects it (the UEFI Shell
// test reads the same file), in CR LF form.
inline std::string UsageTextFromFile() {
  std::ifstream in(VEXA_SOURCE_DIR "/tests/e2e/usage_text.txt", std::ios::binary);
  std::string text;
  for (char c; in.get(c);) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return text;
}

inline const std::string kUsageText = UsageTextFromFile();

inline const std::string kWrongParameter = "\r\n\r\nWrong Parameter! Please try again!\r\n";

inline const std::string kFileFormatLines =
    "File format is incorrect, please re-confirm it.\r\n"
    "File format is \"xxx.bin\"\r\n";

// The red message with the line that names what was refused, then the usage.
inline std::string Rejected(const std::string& refusal) {
  return kWrongParameter + refusal + "\r\n" + kUsageText;
}

inline const std::string kFileOpenFail = "\r\nFile Open Fail!\r\n\r\n";

// The open failure with the line that names the file.
inline std::string FileOpenFailed(const std::string& name) {
  return kFileOpenFail + name + " cannot be opened: check its name and that it is in the current folder.\r\n";
}

// The refusals that name the argument.
inline std::string UnknownOption(const std::string& argument) {
  return argument + ": no such option (options are lower case, see below).";
}
inline std::string NotImageName(const std::string& argument) {
  return argument + ": an image's name must end in .bin, in lower case.";
}

// Followed by the platform's name once the run goes on to the hardware.
inline const std::string kBanner = "\r\nOVK PD FW Update Utility v1.0.0.b3 thru ";

}  // namespace vexa_test
