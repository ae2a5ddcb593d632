#include "python/py/ref.hpp"

#include <atomic>
#include <mutex>
#include <vector>

#include "common/global.hpp"
#include "python/py/errors.hpp"
#include "python/py/gil.hpp"

namespace ovik::py {

namespace {

struct PendingReleases {
  std::mutex mutex;
  std::vector<PyObject*> objects;
};

Global<PendingReleases> g_pending;
std::atomic<bool> g_any_pending{false};

}  // namespace

void release(PyObject* object) {
  if (gil_held()) {
    Py_DECREF(object);
    return;
  }
  PendingReleases& pending = g_pending.get();
  std::lock_guard lock(pending.mutex);
  pending.objects.push_back(object);
  g_any_pending.store(true, std::memory_order_release);
}

void drain_pending_releases() {
  if (!g_any_pending.load(std::memory_order_acquire) || !gil_held()) return;
  std::vector<PyObject*> objects;
  {
    PendingReleases& pending = g_pending.get();
    std::lock_guard lock(pending.mutex);
    objects.swap(pending.objects);
    g_any_pending.store(false, std::memory_order_release);
  }
  // Outside the queue's lock: a release may run Python code that releases more.
  for (PyObject* object : objects) Py_DECREF(object);
}

Ref Ref::steal(PyObject* object) {
  if (!object) throw_python_error();
  return Ref(object);
}

Ref Ref::borrow(PyObject* object) {
  Py_INCREF(object);
  return Ref(object);
}

Ref none() { return Ref::borrow(Py_None); }

}  // namespace ovik::py
