// The console of the host build. Standard output receives exactly the
// characters the firmware console would (as UTF-8). On a terminal the
// cursor and the colours turn into ANSI sequences; the mode and the clear
// screen do not, as the terminal is the user's, with its size and what it
// shows; the session's end gives the cursor and the colours back.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/host/host_session.h"
#include "platform/platform.h"

namespace {

bool UseAnsi() {
  const HostSession& session = CurrentHostSession();
  return session.capture == nullptr && isatty(STDOUT_FILENO) != 0;
}

void Emit(const std::string& bytes) {
  HostSession& session = CurrentHostSession();
  if (session.capture != nullptr) {
    session.capture->append(bytes);
  } else {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  }
}

// Whether a sequence went to the terminal, which then needs them undone.
bool gTerminalChanged = false;

void EmitControl(const char* sequence) {
  if (!UseAnsi()) return;
  Emit(sequence);
  gTerminalChanged = true;
}

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

std::string ToUtf8(const char16_t* text) {
  std::string out;
  for (const char16_t* p = text; *p != 0; ++p) {
    uint32_t code = *p;
    if (code >= 0xD800 && code < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (p[1] - 0xDC00);
      ++p;
    }
    AppendUtf8(out, code);
  }
  return out;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
          out += hex;
        } else {
          out += c;
        }
    }
  }
  return out;
}

// Firmware colours 0..7 are blue-green-red ordered; ANSI's are red-green-blue.
int AnsiColour(uint8_t efiColour) {
  static const int kMap[8] = {0, 4, 2, 6, 1, 5, 3, 7};
  return kMap[efiColour & 7];
}

}  // namespace

void PlatformConsoleOutput(const char16_t* text) {
  const std::string utf8 = ToUtf8(text);
  HostTrace("text \"%s\"", Escaped(utf8).c_str());
  Emit(utf8);
}

void PlatformConsoleEnableCursor(bool visible) {
  HostTrace("cursor %s", visible ? "on" : "off");
  EmitControl(visible ? "\x1b[?25h" : "\x1b[?25l");
}

bool PlatformConsoleQueryMode(uint32_t mode, uint32_t* columns, uint32_t* rows) {
  const HostSession& session = CurrentHostSession();
  if (mode >= session.modes.size()) {
    HostTrace("query-mode %u unsupported", mode);
    return false;
  }
  *columns = session.modes[mode].columns;
  *rows = session.modes[mode].rows;
  HostTrace("query-mode %u %ux%u", mode, *columns, *rows);
  return true;
}

void PlatformConsoleSetMode(uint32_t mode) {
  HostTrace("set-mode %u", mode);
  CurrentHostSession().consoleMode = mode;
}

void PlatformConsoleClearScreen() { HostTrace("clear-screen"); }

uint8_t PlatformConsoleAttribute() { return CurrentHostSession().consoleAttribute; }

void PlatformConsoleSetAttribute(uint8_t attribute) {
  HostTrace("set-attribute %02X", attribute);
  CurrentHostSession().consoleAttribute = attribute;
  const uint8_t foreground = attribute & 0x0F;
  const uint8_t background = (attribute >> 4) & 0x07;
  char sequence[32];
  std::snprintf(sequence, sizeof sequence, "\x1b[0;%d;%dm",
                (foreground & 8 ? 90 : 30) + AnsiColour(foreground), 40 + AnsiColour(background));
  EmitControl(sequence);
}

void HostConsoleRestore() {
  if (!gTerminalChanged) return;
  EmitControl("\x1b[0m\x1b[?25h");
  std::fflush(stdout);
  gTerminalChanged = false;
}
