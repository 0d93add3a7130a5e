// The one header that includes <Python.h>. Every binding source includes it first, so the whole
// extension is built against the stable ABI of CPython 3.11 and later: anything outside the
// limited API fails to compile.
#pragma once

#define PY_SSIZE_T_CLEAN
#ifndef Py_LIMITED_API
#define Py_LIMITED_API 0x030B0000
#endif
#if Py_LIMITED_API != 0x030B0000
#error "the extension targets the limited API of CPython 3.11 (Py_LIMITED_API=0x030B0000)"
#endif
#include <Python.h>
