#pragma once
// Adding names to the module: each add appends the name to `__all__`
// (created on the first add) and then sets the attribute.
#include <string_view>

#include "python/py/ref.hpp"

namespace ovik::py {

class ModuleBuilder {
 public:
  explicit ModuleBuilder(PyObject* module) : module_(module) {}

  void add(std::string_view name, Ref object);
  // A class under its own name.
  void add_class(PyTypeObject* type);
  // A built-in function bound to the module (its `__module__` is the
  // module's name). `def` must live as long as the process.
  void add_function(const PyMethodDef& def);

 private:
  PyObject* all_list();

  PyObject* module_;
};

}  // namespace ovik::py
