// An in-process host session without a board: the console text the tool
// sends is captured (UTF-8) and the I/O trace is kept in a temporary file.
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/host/host_session.h"

namespace vexa_test {

class ConsoleCapture {
 public:
  ConsoleCapture() : trace_(std::tmpfile()) {
    if (trace_ == nullptr) throw std::runtime_error("tmpfile");
    session_.capture = &text_;
    session_.ioTrace = trace_;
    HostSessionBegin(&session_);
  }
  ~ConsoleCapture() {
    HostSessionEnd();
    std::fclose(trace_);
  }
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  HostSession& session() { return session_; }
  const std::string& text() const { return text_; }

  // Every trace line so far, without line ends.
  std::vector<std::string> TraceLines() {
    std::fflush(trace_);
    std::rewind(trace_);
    std::vector<std::string> lines;
    std::string line;
    for (int c = std::fgetc(trace_); c != EOF; c = std::fgetc(trace_)) {
      if (c == '\n') {
        lines.push_back(line);
        line.clear();
      } else {
        line += static_cast<char>(c);
      }
    }
    std::fseek(trace_, 0, SEEK_END);
    return lines;
  }

 private:
  std::string text_;
  std::FILE* trace_;
  HostSession session_;
};

}  // namespace vexa_test
