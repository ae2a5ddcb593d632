#pragma once
// Sensor data records: what a sensor module or the control box sends with its
// measurements, and the 3-vector Xyz that calibration records reuse.
#include "schema/enums.hpp"
#include "schema/message_traits.hpp"

namespace ovik::schema {

#define OVIK_FIELDS_Xyz(F) \
  F(1, x, float)           \
  F(2, y, float)           \
  F(3, z, float)
OVIK_DEFINE_MESSAGE(Xyz)

#define OVIK_FIELDS_ImuData(F)                   \
  F(1, seq_num, std::uint32_t)                   \
  F(4, acc_raw_data, Bytes)                      \
  F(6, gyro_raw_data, Bytes)                     \
  F(7, euler_raw_data, Repeated<float>)       \
  F(8, port, CtrlBoxPort)                        \
  F(9, acc_correction_data, Repeated<float>)  \
  F(10, gyro_correction_data, Repeated<float>)
OVIK_DEFINE_MESSAGE(ImuData)

#define OVIK_FIELDS_AccData(F)   \
  F(1, seq_num, std::uint32_t)   \
  F(2, port, CtrlBoxPort)        \
  F(5, acc_raw_data, Bytes)      \
  F(6, acc_correction_data, Repeated<float>)
OVIK_DEFINE_MESSAGE(AccData)

#define OVIK_FIELDS_MagData(F)  \
  F(1, seq_num, std::uint32_t)  \
  F(4, mag_raw_data, Bytes)     \
  F(5, mag_correction_data, Repeated<float>)
OVIK_DEFINE_MESSAGE(MagData)

#define OVIK_FIELDS_AfeData(F)       \
  F(1, seq_num, std::uint32_t)       \
  F(2, lead_off_bits, std::uint32_t) \
  F(4, channel_adc_value, Repeated<Bytes>)
OVIK_DEFINE_MESSAGE(AfeData)

#define OVIK_FIELDS_FlexData(F) \
  F(1, error, ConfigErr)        \
  F(2, seq_num, std::uint32_t)  \
  F(4, channel_adc_value, Repeated<Bytes>)
OVIK_DEFINE_MESSAGE(FlexData)

#define OVIK_FIELDS_HallData(F)      \
  F(1, error, ConfigErr)             \
  F(2, seq_num, std::uint32_t)       \
  F(3, sample_rate, SamplingRate)    \
  F(4, hall_value, Bytes)            \
  F(5, magnetic_intensity, Bytes)    \
  F(6, port, CtrlBoxPort)
OVIK_DEFINE_MESSAGE(HallData)

#define OVIK_FIELDS_RawData(F) \
  F(1, green1, std::int32_t)   \
  F(2, green2, std::int32_t)   \
  F(3, ir, std::int32_t)       \
  F(4, red, std::int32_t)
OVIK_DEFINE_MESSAGE(RawData)

#define OVIK_FIELDS_AlgoData(F)          \
  F(1, op_mode, AlgoOpMode)              \
  F(2, hr, std::uint32_t)                \
  F(3, hr_conf, std::uint32_t)           \
  F(4, rr, std::uint32_t)                \
  F(5, rr_conf, std::uint32_t)           \
  F(6, activity, PpgActivity)            \
  F(7, r, std::uint32_t)                 \
  F(8, spo2_conf, std::uint32_t)         \
  F(9, spo2, std::uint32_t)              \
  F(10, spo2_progress, std::uint32_t)    \
  F(11, spo2_lsq_flag, bool)             \
  F(12, spo2_mt_flag, bool)              \
  F(13, spo2_lp_flag, bool)              \
  F(14, spo2_ur_flag, bool)              \
  F(15, spo2_state, Spo2State)           \
  F(16, scd_state, ScdState)
OVIK_DEFINE_MESSAGE(AlgoData)

#define OVIK_FIELDS_PpgReport(F)     \
  F(1, raw, Repeated<RawData>)    \
  F(2, algo, Repeated<AlgoData>)
OVIK_DEFINE_MESSAGE(PpgReport)

#define OVIK_FIELDS_PpgData(F)               \
  F(1, seq_num, std::uint32_t)               \
  F(2, report_rate, PpgUr)                   \
  F(3, mode, PpgMode)                        \
  F(4, report, Optional<PpgReport>)     \
  F(5, seg_finished, bool)
OVIK_DEFINE_MESSAGE(PpgData)

#define OVIK_FIELDS_PpgInfo(F) \
  F(1, dev_err, PpgDevErr)     \
  F(2, chip, PpgChip)          \
  F(3, version, std::string)
OVIK_DEFINE_MESSAGE(PpgInfo)

#define OVIK_FIELDS_PortStat(F)              \
  F(1, port_connected_bits, std::uint32_t)   \
  F(2, box_sensor_list, Repeated<BoxSensorType>)
OVIK_DEFINE_MESSAGE(PortStat)

}  // namespace ovik::schema
