#pragma once
// LowPassFilter, HighPassFilter, BandPassFilter and BandStopFilter: records
// of filter coefficients and state that Python code may read but not make or
// change.
#include <array>
#include <string_view>
#include <utility>

#include "python/py/class_builder.hpp"

namespace ovik::python {

template <std::size_t N>
struct FilterFields {
  std::string_view class_name;
  std::array<std::string_view, N> names;
};

inline constexpr FilterFields<6> kLowPassFields{"LowPassFilter", {"a", "d1", "d2", "w0", "w1", "w2"}};
inline constexpr FilterFields<6> kHighPassFields{"HighPassFilter", kLowPassFields.names};
inline constexpr FilterFields<10> kBandPassFields{
    "BandPassFilter", {"a", "d1", "d2", "d3", "d4", "w0", "w1", "w2", "w3", "w4"}};
inline constexpr FilterFields<12> kBandStopFields{
    "BandStopFilter", {"a", "d1", "d2", "d3", "d4", "w0", "w1", "w2", "w3", "w4", "r", "s"}};

template <const auto& Fields>
struct FilterState {
  std::array<double, Fields.names.size()> values{};

  static py::ClassSpec class_spec() {
    py::ClassSpec spec;
    spec.name = Fields.class_name;
    add_properties(spec, std::make_index_sequence<Fields.names.size()>{});
    return spec;
  }

 private:
  template <std::size_t I>
  static py::Ref read(py::Shared<FilterState>& self) {
    return py::to_float(self->values[I]);
  }

  template <std::size_t... I>
  static void add_properties(py::ClassSpec& spec, std::index_sequence<I...>) {
    (spec.properties.push_back(py::getter<&FilterState::read<I>>(Fields.names[I])), ...);
  }
};

using LowPassFilter = FilterState<kLowPassFields>;
using HighPassFilter = FilterState<kHighPassFields>;
using BandPassFilter = FilterState<kBandPassFields>;
using BandStopFilter = FilterState<kBandStopFields>;

}  // namespace ovik::python
