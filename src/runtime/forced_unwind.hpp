#pragma once
// Thread code lets a forced unwind (pthread_exit or pthread_cancel, which is
// how CPython ends threads that touch it after finalisation) pass through:
//
//   try { ... } catch (abi::__forced_unwind&) { throw; } catch (...) { ... }
//
// A forced unwind carries no C++ exception object, so that handler binds its
// reference to null; UBSan reports the binding, and the functions holding
// such a handler are exempted from that one check.
#include <cxxabi.h>

#define OVIK_CATCHES_FORCED_UNWIND __attribute__((no_sanitize("null")))
