#include "python/py/module_builder.hpp"

#include <string>

#include "python/py/errors.hpp"

namespace ovik::py {

PyObject* ModuleBuilder::all_list() {
  PyObject* existing = PyObject_GetAttrString(module_, "__all__");
  if (existing) {
    Py_DECREF(existing);  // the module keeps it alive
    return existing;
  }
  if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw_python_error();
  PyErr_Clear();
  Ref list = Ref::steal(PyList_New(0));
  if (PyObject_SetAttrString(module_, "__all__", list.get()) < 0) throw_python_error();
  return list.get();
}

void ModuleBuilder::add(std::string_view name, Ref object) {
  std::string key(name);
  Ref text = Ref::steal(PyUnicode_FromStringAndSize(key.data(), static_cast<Py_ssize_t>(key.size())));
  if (PyList_Append(all_list(), text.get()) < 0) throw_python_error();
  if (PyObject_SetAttrString(module_, key.c_str(), object.get()) < 0) throw_python_error();
}

void ModuleBuilder::add_class(PyTypeObject* type) {
  auto* object = reinterpret_cast<PyObject*>(type);
  add(attribute_text(object, "__name__"), Ref::borrow(object));
}

void ModuleBuilder::add_function(const PyMethodDef& def) {
  Ref module_name = Ref::steal(PyModule_GetNameObject(module_));
  Ref function =
      Ref::steal(PyCFunction_NewEx(const_cast<PyMethodDef*>(&def), module_, module_name.get()));
  add(def.ml_name, std::move(function));
}

}  // namespace ovik::py
