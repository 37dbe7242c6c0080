// The simulated board's virtual clock. Stalls and register accesses advance
// it; nothing on the board moves unless it does.
#pragma once

#include <cstdint>

namespace sim {

class Clock {
 public:
  std::uint64_t NowNs() const { return now_ns_; }
  std::uint64_t NowUs() const { return now_ns_ / 1000; }
  void AdvanceNs(std::uint64_t ns) { now_ns_ += ns; }
  void AdvanceUs(std::uint64_t us) { now_ns_ += us * 1000; }

 private:
  std::uint64_t now_ns_ = 0;
};

}  // namespace sim
