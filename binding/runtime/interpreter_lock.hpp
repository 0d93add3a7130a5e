// Releasing the interpreter lock around a run that can call no Python code.
#pragma once

#include "binding/runtime/python.hpp"

namespace corvalinth::py {

// While alive, other threads may run Python. Nothing may touch a Python object meanwhile; the
// lock is taken back when the scope ends, also when the run throws.
class ReleasedInterpreterLock {
 public:
  ReleasedInterpreterLock() : state_(PyEval_SaveThread()) {}
  ~ReleasedInterpreterLock() { PyEval_RestoreThread(state_); }
  ReleasedInterpreterLock(const ReleasedInterpreterLock&) = delete;
  ReleasedInterpreterLock& operator=(const ReleasedInterpreterLock&) = delete;

 private:
  PyThreadState* state_;
};

}  // namespace corvalinth::py
