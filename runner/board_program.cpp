#include "runner/board_program.h"

#include "sim/board_options.h"
#include "sim/pd_options.h"

namespace runner {

void PrintBoardProgramHelp(const char* programHelp) {
  std::fputs(programHelp, stdout);
  std::fputs(sim::BoardOptionsHelp().c_str(), stdout);
}

void WarnOfFlashSize(const char* program, const sim::BoardConfig& board) {
  if (!board.pd) return;
  const std::string warning = sim::FlashSizeWarning(*board.pd);
  if (!warning.empty()) std::fprintf(stderr, "%s: warning: %s\n", program, warning.c_str());
}

bool OpenIoTrace(const char* program, const std::string& path, std::FILE*& trace) {
  trace = nullptr;
  if (path.empty()) return true;
  trace = std::fopen(path.c_str(), "w");
  if (trace != nullptr) return true;
  std::fprintf(stderr, "%s: cannot write the I/O trace %s\n", program, path.c_str());
  return false;
}

}  // namespace runner
