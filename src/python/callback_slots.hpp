#pragma once
// The nine process-wide callback slots: each holds the object a program
// registered for one kind of data (or nothing), behind a read-write lock of
// its own. No Python code runs and no reference is released while a slot's
// lock is held, so a callable may replace or empty its own slot.
#include "pipeline/callback_sink.hpp"
#include "python/py/ref.hpp"

namespace ovik::python {

using pipeline::CallbackKind;

// Stores `object` (empty to clear) and releases the previous one after
// unlocking. Needs the interpreter lock when it may release an object.
void set_callback(CallbackKind kind, py::Ref object);

// Whether the slot holds an object now. Never touches Python.
bool callback_is_set(CallbackKind kind);

// A new reference to the slot's object, or an empty Ref. Needs the lock.
py::Ref callback_of(CallbackKind kind);

// Empties all nine slots, one after another; the objects are released after
// each slot's lock is let go (queued when the interpreter lock is not held).
void clear_callbacks();

}  // namespace ovik::python
