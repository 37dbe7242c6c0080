#include "platform/host/host_session.h"

#include <cstdarg>
#include <cstdlib>

HostSession* gHostSession = nullptr;

// Programs and tests that never begin a session still get a console.
HostSession& HostFallbackSession() {
  static HostSession fallback;
  return fallback;
}

void HostSessionBegin(HostSession* session) { gHostSession = session; }

void HostSessionEnd() {
  HostConsoleRestore();
  if (gHostSession != nullptr && gHostSession->ioTrace != nullptr) std::fflush(gHostSession->ioTrace);
  gHostSession = nullptr;
}

void HostTrace(const char* format, ...) {
  std::FILE* trace = CurrentHostSession().ioTrace;
  if (trace == nullptr) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(trace, format, args);
  va_end(args);
  std::fputc('\n', trace);
}
