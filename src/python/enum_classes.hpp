#pragma once
// The module's thirteen enum classes. Their values are those of the native
// enums they stand for (the project id, the schema's wire values, the log
// level), so operations pass `Member<...>::value` through unchanged.
#include "python/py/enum_class.hpp"

namespace ovik::python {

extern const py::EnumClass kLogLevel;
extern const py::EnumClass kDfuState;
extern const py::EnumClass kMsgType;
extern const py::EnumClass kNoiseTypes;
extern const py::EnumClass kDownsamplingOperations;
extern const py::EnumClass kSamplingRate;
extern const py::EnumClass kAfeSampleRate;
extern const py::EnumClass kImuSampleRate;
extern const py::EnumClass kImuMode;
extern const py::EnumClass kMagSampleRate;
extern const py::EnumClass kUploadDataType;
extern const py::EnumClass kCtrlBoxPort;
extern const py::EnumClass kFusionMode;

}  // namespace ovik::python
