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

inline constexpr std::uint64_t kRunStateVersion = 5;

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

// Throws RunStateError("saved run state does not match this run: <what>").
[[noreturn]] void state_mismatch(const std::string& what);

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

  // The field vocabulary a state's owner visits its fields with, shared with StateReader so that
  // one visit writes and reads the same fields in the same order. Writing, each call writes the
  // value it is given; the checks (`what`, limits, expected sizes, `require`) are the reader's.
  void word(std::uint64_t value) { u64(value); }
  void real(double value) { f64(value); }
  void same(std::uint64_t value, const char*) { u64(value); }
  void same_flag(bool value, const char*) { flag(value); }
  template <typename T>
  void index(T value, std::uint64_t, const char*) {
    u64(static_cast<std::uint64_t>(value));
  }
  void block(std::span<const double> values, const char*) { f64s(values); }
  void values(std::span<const double> values, std::uint64_t, const char*) { f64s(values); }
  void values_up_to(std::span<const double> values, std::uint64_t, const char*) { f64s(values); }
  void count(std::uint64_t saved, std::uint64_t, const char*) { u64(saved); }
  void require(bool, const char*) {}

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
  // Values after a length word of at most `limit`, refused as truncated like f64s.
  std::vector<double> f64s_up_to(std::uint64_t limit, const char* what);
  // Values after their length word into `out`, which must have that length.
  void f64s_into(std::span<double> out, const char* what);
  SwarmRng generator();
  // Fails unless every byte was read.
  void expect_end() const;

  // The field vocabulary of StateWriter, reading: each call reads into the field it is given and
  // checks what the writer could not have written otherwise.
  void word(std::uint64_t& value) { value = u64(); }
  void real(double& value) { value = f64(); }
  void flag(bool& value) { value = flag(); }
  void generator(SwarmRng& rng) { rng = generator(); }
  // A word that must equal what this side already knows (a shape).
  void same(std::uint64_t expected, const char* what) {
    if (u64() != expected) state_mismatch(what);
  }
  void same_flag(bool expected, const char* what) {
    if (flag() != expected) state_mismatch(what);
  }
  // An enumerator or index below `limit`.
  template <typename T>
  void index(T& value, std::uint64_t limit, const char* what) {
    value = static_cast<T>(index_below(limit, what));
  }
  // Values into a block of known size.
  void block(std::span<double> out, const char* what) { f64s_into(out, what); }
  // Exactly `expected` values, read into `out`.
  void values(std::vector<double>& out, std::uint64_t expected, const char* what) {
    out = f64s(expected, what);
  }
  // At most `limit` values, read into `out`; the owner checks the length it got.
  void values_up_to(std::vector<double>& out, std::uint64_t limit, const char* what) {
    out = f64s_up_to(limit, what);
  }
  // A count that must equal `expected`, which this side derives from fields read before it.
  void count(std::uint64_t, std::uint64_t expected, const char* what) { same(expected, what); }
  // A relation between fields read so far.
  void require(bool holds, const char* what) {
    if (!holds) state_mismatch(what);
  }

 private:
  // `count` values, whose length word was just read.
  std::vector<double> f64s_after_length(std::uint64_t count);

  std::span<const std::uint8_t> bytes_;
  std::size_t offset_ = 0;
};


}  // namespace corvalinth
