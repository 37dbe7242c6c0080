#include "runner/option_values.h"

#include <cerrno>
#include <cstdlib>

namespace runner {

bool ParseUnsigned(const std::string& text, int base, unsigned long long max,
                   unsigned long long& value) {
  // strtoull itself would take a sign or leading blanks.
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long parsed = std::strtoull(text.c_str(), &end, base);
  if (errno != 0 || *end != '\0' || parsed > max) return false;
  value = parsed;
  return true;
}

std::string BadValue(const std::string& option, const char* expected, const std::string& got) {
  return option + ": expected " + expected + " but got \"" + got + "\"";
}

}  // namespace runner
