#pragma once
// Rows of numbers as Python sees them: a list with one list per row, each
// element a new float (from a 32- or 64-bit float) or int.
#include <iterator>
#include <type_traits>

#include "python/py/convert.hpp"

namespace ovik::python {

template <class T>
py::Ref to_number(T value) {
  if constexpr (std::is_floating_point_v<T>)
    return py::to_float(static_cast<double>(value));
  else
    return py::to_int(static_cast<long long>(value));
}

// A list of numbers, or a list of lists of them, from any sized range.
template <class Range>
py::Ref to_list(const Range& values) {
  py::Ref list = py::Ref::steal(PyList_New(static_cast<Py_ssize_t>(std::size(values))));
  Py_ssize_t index = 0;
  for (const auto& value : values) {
    py::Ref item;
    if constexpr (std::is_arithmetic_v<std::remove_cvref_t<decltype(value)>>)
      item = to_number(value);
    else
      item = to_list(value);
    PyList_SetItem(list.get(), index++, item.release());  // steals the item
  }
  return list;
}

}  // namespace ovik::python
