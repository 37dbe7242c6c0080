// Values of the host programs' own options, read strictly: a whole number
// in the given base with nothing before or after it.
#pragma once

#include <string>

namespace runner {

// false when `text` is not such a number or it exceeds `max`.
bool ParseUnsigned(const std::string& text, int base, unsigned long long max,
                   unsigned long long& value);

// "OPTION: expected WHAT but got "TEXT"", the complaint about a bad value.
std::string BadValue(const std::string& option, const char* expected, const std::string& got);

}  // namespace runner
