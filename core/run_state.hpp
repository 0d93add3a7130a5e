// The byte format in which a single-objective run's state is saved and restored, so that a run can
// stop in one process and continue in another on exactly the same trajectory.
//
// A saved state is a sequence of little-endian 64-bit words: the magic word, the format version,
// then the fields in the order the run writes them (doubles by their bit pattern, vectors as a
// length followed by their elements). The version changes whenever the layout or the meaning of a
// field changes; a state of another version is refused, never reinterpreted. The format carries
// no settings: whoever restores a run builds it with the settings it was saved with, and the run
// checks the shapes it can (swarm size, dimension, what it records) against them.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/rng.hpp"

namespace corvalinth {

inline constexpr std::uint64_t kRunStateVersion = 1;

// A saved state that cannot be restored: another version, another run's shape, a truncated or
// damaged buffer. The message says which.
class RunStateError : public std::runtime_error {
 public:
  explicit RunStateError(const std::string& message) : std::runtime_error(message) {}
};

// The one byte order of saved doubles, whatever the host: each value as the little-endian word of
// its bit pattern, 8 bytes, so every bit (NaN payloads, -0.0) survives. `out` holds 8 bytes per
// value of `values`; `in` holds 8 bytes per value of `out`.
void store_f64_words(std::span<const double> values, std::uint8_t* out);
void load_f64_words(const std::uint8_t* in, std::span<double> out);

// Appends words to a buffer; the constructor writes the magic word and the version.
class StateWriter {
 public:
  StateWriter();

  void u64(std::uint64_t value);
  void f64(double value);
  void flag(bool value) { u64(value ? 1 : 0); }
  void f64s(std::span<const double> values);  // length, then the values
  void generator(const SwarmRng& rng);

  std::vector<std::uint8_t> take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

// Reads what a StateWriter wrote, in the same order. The constructor checks the magic word and
// the version; every read checks that the buffer holds it. Failures throw RunStateError.
class StateReader {
 public:
  explicit StateReader(std::span<const std::uint8_t> bytes);

  std::uint64_t u64();
  double f64();
  bool flag();
  // A value below `limit`; `what` names it in the error.
  std::uint64_t index_below(std::uint64_t limit, const char* what);
  // Exactly `count` values after a length word equal to `count`; a count larger than the bytes
  // left can hold is refused as truncated before anything is allocated.
  std::vector<double> f64s(std::uint64_t count, const char* what);
  // Values after their length word into `out`, which must have that length.
  void f64s_into(std::span<double> out, const char* what);
  SwarmRng generator();
  // Fails unless every byte was read.
  void expect_end() const;

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t offset_ = 0;
};

// Throws RunStateError("saved run state does not match this run: <what>").
[[noreturn]] void state_mismatch(const std::string& what);

}  // namespace corvalinth
