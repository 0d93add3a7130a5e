// SwarmRng: the seeded random source of one run.
//
// The output is exactly the 8-round ChaCha keystream for a 256-bit key and nonce 0 (64-bit block
// counter, 64-bit stream number), read as consecutive little-endian 32-bit words from block 0 on.
// Words are produced four blocks (64 words) at a time into a buffer; every draw reads that buffer.
#pragma once

#include <array>
#include <cstdint>

namespace corvalinth {

class SwarmRng {
 public:
  static constexpr std::size_t kBufferWords = 64;

  // A generator keyed with `key`; its first draw generates blocks 0 to 3.
  explicit SwarmRng(const std::array<std::uint8_t, 32>& key);

  // The key is the 64-bit seed expanded with the PCG32 output function.
  static SwarmRng seed_from_u64(std::uint64_t seed);
  // The key is 32 bytes from the operating system's secure random source.
  static SwarmRng from_entropy();

  std::uint32_t next_u32() {
    if (index_ == kBufferWords) refill();
    return buffer_[index_++];
  }

  // The next two words of the word stream, the first as the low half.
  std::uint64_t next_u64() {
    if (index_ < kBufferWords - 1) {
      const std::uint64_t lo = buffer_[index_];
      const std::uint64_t hi = buffer_[index_ + 1];
      index_ += 2;
      return (hi << 32) | lo;
    }
    return next_u64_across_refill();
  }

  // A double in [0, 1 - 2^-53] from one 64-bit draw.
  double unit() { return unit_from_bits(next_u64()); }
  // The top 53 bits of a draw, scaled to [0, 1).
  static constexpr double unit_from_bits(std::uint64_t bits) {
    return static_cast<double>(bits >> 11) * 0x1p-53;
  }

  // An integer uniform in [0, n) for n >= 1 (widening multiply with rejection).
  std::uint64_t below(std::uint64_t n);

  // A double uniform in the closed interval [low, high] from one 64-bit draw.
  // Fails with "cannot sample empty range" unless low <= high, and with
  // "Uniform::new_inclusive: range overflow" when the width is not finite.
  double uniform_closed(double low, double high);

  // Everything that decides the draws to come: the key, the next block to generate, and the
  // buffered words with the position of the next one to read. A generator rebuilt from its state
  // draws exactly what the original would have drawn.
  struct State {
    std::array<std::uint32_t, 8> key_words{};
    std::uint64_t counter = 0;
    std::uint32_t index = kBufferWords;  // at most kBufferWords
    std::array<std::uint32_t, kBufferWords> buffer{};
  };
  State state() const { return {key_words_, counter_, index_, buffer_}; }
  static SwarmRng from_state(const State& state);

  // The raw 16-word ChaCha8 block for `key` and block `counter` (nonce 0); exposed for testing.
  static std::array<std::uint32_t, 16> block(const std::array<std::uint8_t, 32>& key,
                                             std::uint64_t counter);

 private:
  void refill();
  std::uint64_t next_u64_across_refill();

  std::array<std::uint32_t, 8> key_words_{};
  std::uint64_t counter_ = 0;
  std::uint32_t index_ = kBufferWords;
  alignas(64) std::array<std::uint32_t, kBufferWords> buffer_{};
};

}  // namespace corvalinth
