// A hardware FIFO of fixed depth: a ring over slots allocated once, so that
// the controller's many pushes and pops per byte cost no allocation.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <vector>

namespace sim {

template <typename T>
class Fifo {
 public:
  explicit Fifo(std::size_t depth) : slots_(depth) {}

  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  const T& front() const { return slots_[head_]; }

  // The controller never pushes into a full FIFO (it refuses the command or
  // stretches the clock first); a model fault that does must not pass
  // silently as a lost or overwritten entry.
  void push_back(T value) {
    if (count_ == slots_.size()) throw std::logic_error("push into a full FIFO");
    std::size_t tail = head_ + count_;
    if (tail >= slots_.size()) tail -= slots_.size();
    slots_[tail] = value;
    ++count_;
  }

  void pop_front() {
    if (++head_ == slots_.size()) head_ = 0;
    --count_;
  }

  void clear() {
    head_ = 0;
    count_ = 0;
  }

 private:
  std::vector<T> slots_;
  std::size_t head_ = 0;
  std::size_t count_ = 0;
};

}  // namespace sim
