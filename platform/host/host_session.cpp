#include "platform/host/host_session.h"

#include <cstdarg>
#include <cstdlib>

namespace {

HostSession* gSession = nullptr;

// Programs and tests that never begin a session still get a console.
HostSession& FallbackSession() {
  static HostSession fallback;
  return fallback;
}

}  // namespace

void HostSessionBegin(HostSession* session) { gSession = session; }

void HostSessionEnd() {
  if (gSession != nullptr && gSession->ioTrace != nullptr) std::fflush(gSession->ioTrace);
  gSession = nullptr;
}

HostSession& CurrentHostSession() { return gSession != nullptr ? *gSession : FallbackSession(); }

void HostTrace(const char* format, ...) {
  std::FILE* trace = CurrentHostSession().ioTrace;
  if (trace == nullptr) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(trace, format, args);
  va_end(args);
  std::fputc('\n', trace);
}
