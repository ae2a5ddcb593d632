#pragma once
// The one place that includes the interpreter's headers. Everything in the
// module is written against the limited API of CPython 3.10 (one abi3 build
// for 3.10 and later).
#ifndef Py_LIMITED_API
#error "build the Python module with Py_LIMITED_API=0x030A0000"
#endif
#define PY_SSIZE_T_CLEAN
#include <Python.h>
