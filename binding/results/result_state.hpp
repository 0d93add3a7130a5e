// The pickled state of a result: a dict of plain Python objects that a module-level
// reconstructor turns back into an equal result. Scalars travel as int, float and str; blocks of
// doubles travel as bytes holding little-endian IEEE 754 doubles, so every bit (NaN payloads,
// -0.0, infinities) survives and a large history costs one copy. The bytes are written and read by
// the core's codec of saved doubles (`core/run_state.hpp`), the one the run state uses.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "binding/runtime/py_ref.hpp"
#include "binding/runtime/python.hpp"
#include "core/records.hpp"

namespace corvalinth::py {

// Builds a state dict. Every method throws PythonErrorSet on failure.
class StateDictWriter {
 public:
  StateDictWriter();
  void put(const char* key, std::uint64_t value);
  void put(const char* key, double value);
  void put(const char* key, std::span<const double> values);  // as bytes
  void put(const char* key, StopReason reason);               // by name
  // (particles, dim, iterations, positions as bytes).
  void put(const char* key, const History& history);
  void put(const char* key, PyRef value);
  // (function, (state,)): what __reduce__ returns.
  PyRef reduce_with(const char* reconstructor);

 private:
  PyRef dict_;
};

// Reads a state dict given to a reconstructor. A state that is not a dict, lacks a key or holds
// a value of the wrong kind or size raises TypeError or ValueError naming the key.
class StateDictReader {
 public:
  explicit StateDictReader(PyObject* state);
  PyObject* item(const char* key) const;  // borrowed
  std::uint64_t count(const char* key) const;
  std::vector<double> doubles(const char* key) const;
  void read(const char* key, std::uint64_t& value) const { value = count(key); }
  void read(const char* key, double& value) const;
  void read(const char* key, std::vector<double>& values) const { values = doubles(key); }
  void read(const char* key, StopReason& reason) const;
  void read(const char* key, History& history) const;

 private:
  PyObject* state_;
};

// The bytes of `values` in the core's codec, and back (`key` names the value in errors).
PyRef doubles_to_bytes(std::span<const double> values);
std::vector<double> doubles_from_bytes(PyObject* bytes, const char* key);

// An int in [0, 2**64) read from `value`, or ValueError naming `key`.
std::uint64_t count_from(PyObject* value, const char* key);

// a x b, the size of an array axis or block of doubles: ValueError naming `key` when a factor
// or the product exceeds what an array can address (PY_SSIZE_T_MAX bytes of doubles).
std::uint64_t array_size(std::uint64_t a, std::uint64_t b, const char* key);

// Raises ValueError "invalid result state: '<key>' <problem>".
[[noreturn]] void bad_state(const char* key, const char* problem);

}  // namespace corvalinth::py
