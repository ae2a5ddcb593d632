#include "python/enum_classes.hpp"

namespace ovik::python {

namespace {

using M = py::EnumMember;

constexpr M kLogLevelMembers[] = {{"Error", 0}, {"Warn", 1}, {"Info", 2}, {"Debug", 3}, {"Trace", 4}};
constexpr M kDfuStateMembers[] = {{"Idle", 0},     {"LoadingFile", 1}, {"CalculatingChecksums", 2},
                                  {"Starting", 3}, {"Uploading", 4},   {"Rebooting", 5},
                                  {"Completed", 6}, {"Failed", 7}};
// Declaration order is not value order here (Dremlo, 2, comes after PirrowV2).
constexpr M kMsgTypeMembers[] = {{"Veltra", 0}, {"Quorix", 1},  {"Santel", 3}, {"SantelV1_5", 4},
                                 {"Pirrow", 5}, {"PirrowV2", 6}, {"Dremlo", 2}, {"Tesk", 7},
                                 {"JOL", 8},    {"Umbrel", 9},   {"Kavot", 10}, {"Narvel", 11},
                                 {"Ovik", 12},  {"Dovin", 13},   {"Sarrow", 15}, {"Ilvo", 16}};
constexpr M kNoiseTypesMembers[] = {{"FIFTY", 0}, {"SIXTY", 1}, {"FIFTY_AND_SIXTY", 2}};
constexpr M kDownsamplingMembers[] = {{"Mean", 0}, {"Median", 1}, {"Max", 2}, {"Min", 3},
                                      {"Sum", 4},  {"First", 5},  {"Last", 6}, {"Extremes", 7}};
constexpr M kSamplingRateMembers[] = {{"SAMPLING_RATE_NONE", 0}, {"SAMPLING_RATE_OFF", 1}, {"SAMPLING_RATE_25", 2},
                                      {"SAMPLING_RATE_50", 3},   {"SAMPLING_RATE_100", 4}, {"SAMPLING_RATE_200", 5}};
constexpr M kAfeSampleRateMembers[] = {{"AFE_SR_INVALID", 0}, {"AFE_SR_OFF", 1},  {"AFE_SR_125", 2},
                                       {"AFE_SR_250", 3},     {"AFE_SR_500", 4},  {"AFE_SR_1000", 5},
                                       {"AFE_SR_2000", 6}};
constexpr M kImuSampleRateMembers[] = {{"IMU_SR_UNUSED", 0}, {"IMU_SR_OFF", 1}, {"IMU_SR_25", 2},
                                       {"IMU_SR_50", 3},     {"IMU_SR_100", 4}, {"IMU_SR_400", 5}};
constexpr M kImuModeMembers[] = {{"NOT_SET", 0}, {"ACC", 1}, {"GYRO", 2}, {"ACC_GYRO", 3}, {"EULER", 4}};
constexpr M kMagSampleRateMembers[] = {{"MAG_SR_UNUSED", 0}, {"MAG_SR_OFF", 1}, {"MAG_SR_10", 2},
                                       {"MAG_SR_20", 3},     {"MAG_SR_50", 4},  {"MAG_SR_100", 5}};
constexpr M kUploadDataTypeMembers[] = {{"TYPE_UNSPECIFIED", 0}, {"RAW_DATA", 1}, {"CALIBRATED_DATA", 2}};
constexpr M kCtrlBoxPortMembers[] = {{"PORT_NONE", 0}, {"PORT_A", 1}, {"PORT_B", 2}, {"PORT_C", 3},
                                     {"PORT_D", 4},    {"PORT_E", 5}, {"PORT_F", 6}};
constexpr M kFusionModeMembers[] = {{"Imu6Axis", 0}, {"Marg9Axis", 1}};

// The ten classes with a constructor: Class(value), `int_value`, equality, no hash.
constexpr py::EnumClass constructible(std::string_view name, std::span<const M> members) {
  return {.name = name, .members = members, .constructible = true, .value_equality = true, .hashable = false};
}

}  // namespace

constexpr py::EnumClass kLogLevel{
    .name = "LogLevel", .members = kLogLevelMembers, .constructible = false, .value_equality = true, .hashable = false};
constexpr py::EnumClass kDfuState{
    .name = "DfuState", .members = kDfuStateMembers, .constructible = false, .value_equality = true, .hashable = true};
constexpr py::EnumClass kFusionMode{.name = "FusionMode",
                                    .members = kFusionModeMembers,
                                    .constructible = false,
                                    .value_equality = false,
                                    .hashable = false};
constexpr py::EnumClass kMsgType = constructible("MsgType", kMsgTypeMembers);
constexpr py::EnumClass kNoiseTypes = constructible("NoiseTypes", kNoiseTypesMembers);
constexpr py::EnumClass kDownsamplingOperations = constructible("DownsamplingOperations", kDownsamplingMembers);
constexpr py::EnumClass kSamplingRate = constructible("SamplingRate", kSamplingRateMembers);
constexpr py::EnumClass kAfeSampleRate = constructible("AfeSampleRate", kAfeSampleRateMembers);
constexpr py::EnumClass kImuSampleRate = constructible("ImuSampleRate", kImuSampleRateMembers);
constexpr py::EnumClass kImuMode = constructible("ImuMode", kImuModeMembers);
constexpr py::EnumClass kMagSampleRate = constructible("MagSampleRate", kMagSampleRateMembers);
constexpr py::EnumClass kUploadDataType = constructible("UploadDataType", kUploadDataTypeMembers);
constexpr py::EnumClass kCtrlBoxPort = constructible("CtrlBoxPort", kCtrlBoxPortMembers);

}  // namespace ovik::python
