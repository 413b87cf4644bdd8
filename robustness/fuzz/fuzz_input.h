// The fuzzer's bytes read as a stream of small decisions. Past the end every read yields 0, so any
// input, even an empty one, decodes to some valid sequence of steps.
#ifndef VELMORA_ROBUSTNESS_FUZZ_INPUT_H
#define VELMORA_ROBUSTNESS_FUZZ_INPUT_H

#include <stddef.h>
#include <stdint.h>

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool exhausted() const { return position_ >= size_; }

  uint8_t byte() { return exhausted() ? 0 : data_[position_++]; }

  // One of `count` choices (count >= 1).
  unsigned choice(unsigned count) { return byte() % count; }

  bool flag() { return (byte() & 1) != 0; }

  int32_t int32() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) | byte();
    return static_cast<int32_t>(value);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

#endif
