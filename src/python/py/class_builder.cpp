#include "python/py/class_builder.hpp"

#include <deque>
#include <mutex>

#include "common/global.hpp"

namespace ovik::py {

namespace {

struct KeptTexts {
  std::mutex mutex;
  std::deque<std::string> texts;  // a deque never moves what it holds
};

Global<KeptTexts> g_kept;

template <class Def>
Def* keep_table(const std::vector<Def>& entries) {
  // Leaked with the type that points to it; ends with the zeroed sentinel.
  auto* table = new Def[entries.size() + 1]{};
  std::copy(entries.begin(), entries.end(), table);
  return table;
}

}  // namespace

const char* keep(std::string text) {
  KeptTexts& kept = g_kept.get();
  std::lock_guard lock(kept.mutex);
  return kept.texts.emplace_back(std::move(text)).c_str();
}

namespace detail {

std::string class_name(PyTypeObject* type) { return attribute_text(reinterpret_cast<PyObject*>(type), "__name__"); }

}  // namespace detail

PyTypeObject* create_type(const ClassSpec& spec, int basicsize, destructor dealloc) {
  std::vector<PyType_Slot> slots = spec.slots;
  std::string doc;
  if (spec.constructor) doc = text_signature(spec.name, spec.constructor->params, false);
  doc.append(spec.doc);
  if (!doc.empty()) slots.push_back({Py_tp_doc, const_cast<char*>(keep(std::move(doc)))});
  slots.push_back({Py_tp_dealloc, reinterpret_cast<void*>(dealloc)});
  if (spec.new_function) slots.push_back({Py_tp_new, reinterpret_cast<void*>(spec.new_function)});
  if (!spec.methods.empty()) slots.push_back({Py_tp_methods, keep_table(spec.methods)});
  if (!spec.properties.empty()) slots.push_back({Py_tp_getset, keep_table(spec.properties)});
  slots.push_back({0, nullptr});

  unsigned int flags = Py_TPFLAGS_DEFAULT;
  if (spec.subclassable) flags |= Py_TPFLAGS_BASETYPE;
  if (!spec.new_function) flags |= Py_TPFLAGS_DISALLOW_INSTANTIATION;
  // "module.Name": the interpreter takes `__module__` from it.
  PyType_Spec type_spec{keep(std::string(kModuleName) + "." + spec.name), basicsize, 0, flags, slots.data()};
  PyObject* type = PyType_FromSpec(&type_spec);
  if (!type) throw_python_error();
  return reinterpret_cast<PyTypeObject*>(type);
}

}  // namespace ovik::py
