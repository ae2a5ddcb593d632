#pragma once
// The twenty-six enumerations of the message schema. Each row: the debug name
// (also the C++ enumerator), the number, the protocol name. Numbers without a
// row are legal field values and are kept (see enum_table.hpp).
#include "schema/enum_table.hpp"

namespace ovik::schema {

#define OVIK_ENUM_MsgCmd(X)                    \
  X(ReqNone, 0, "REQ_NONE")                    \
  X(GetDeviceInfo, 1, "GET_DEVICE_INFO")       \
  X(SetDeviceInfo, 2, "SET_DEVICE_INFO")       \
  X(GetPortStat, 3, "GET_PORT_STAT")           \
  X(GetSensorConfig, 4, "GET_SENSOR_CONFIG")   \
  X(StartDataStream, 6, "START_DATA_STREAM")   \
  X(StopDataStream, 7, "STOP_DATA_STREAM")
OVIK_DEFINE_ENUM(MsgCmd)

#define OVIK_ENUM_DongleMsgType(X) \
  X(None, 0, "NONE")               \
  X(ConfigSet, 1, "CONFIG_SET")    \
  X(ConfigGet, 2, "CONFIG_GET")    \
  X(PairSet, 3, "PAIR_SET")        \
  X(PairGet, 4, "PAIR_GET")        \
  X(PairStat, 5, "PAIR_STAT")
OVIK_DEFINE_ENUM(DongleMsgType)

#define OVIK_ENUM_PairingStatus(X) \
  X(None, 0, "NONE")               \
  X(Idle, 1, "IDLE")               \
  X(Scanning, 2, "SCANNING")       \
  X(Connected, 3, "CONNECTED")     \
  X(Paired, 4, "PAIRED")           \
  X(PairRefused, 5, "PAIR_REFUSED")
OVIK_DEFINE_ENUM(PairingStatus)

#define OVIK_ENUM_DongleErr(X)       \
  X(ErrNone, 0, "ERR_NONE")          \
  X(Success, 1, "SUCCESS")           \
  X(InvalidParam, 2, "INVALID_PARAM") \
  X(NvsWriteFailed, 3, "NVS_WRITE_FAILED")
OVIK_DEFINE_ENUM(DongleErr)

#define OVIK_ENUM_DeviceEvent(X)              \
  X(None, 0, "NONE")                          \
  X(LeadOn, 1, "LEAD_ON")                     \
  X(LeadOff, 2, "LEAD_OFF")                   \
  X(ButtonPwoff, 3, "BUTTON_PWOFF")           \
  X(TimeoutPwoff, 4, "TIMEOUT_PWOFF")         \
  X(LowPower, 5, "LOW_POWER")                 \
  X(HardwareErr, 6, "HARDWARE_ERR")           \
  X(PortConnected, 7, "PORT_CONNECTED")       \
  X(PortDisconnected, 8, "PORT_DISCONNECTED")
OVIK_DEFINE_ENUM(DeviceEvent)

#define OVIK_ENUM_ConfigErr(X)                     \
  X(ConfigErrSuccess, 0, "CONFIG_ERR_SUCCESS")     \
  X(ConfigErrHardware, 1, "CONFIG_ERR_HARDWARE")   \
  X(ConfigErrParameter, 2, "CONFIG_ERR_PARAMETER") \
  X(ConfigErrUnknown, 3, "CONFIG_ERR_UNKNOWN")
OVIK_DEFINE_ENUM(ConfigErr)

#define OVIK_ENUM_CtrlBoxPort(X) \
  X(PortNone, 0, "PORT_NONE")    \
  X(PortA, 1, "PORT_A")          \
  X(PortB, 2, "PORT_B")          \
  X(PortC, 3, "PORT_C")          \
  X(PortD, 4, "PORT_D")          \
  X(PortE, 5, "PORT_E")          \
  X(PortF, 6, "PORT_F")
OVIK_DEFINE_ENUM(CtrlBoxPort)

#define OVIK_ENUM_OtaCmd(X)    \
  X(None, 0, "NONE")           \
  X(OtaStart, 1, "OTA_START")  \
  X(OtaReboot, 2, "OTA_REBOOT")
OVIK_DEFINE_ENUM(OtaCmd)

#define OVIK_ENUM_OtaState(X)                   \
  X(None, 0, "NONE")                            \
  X(Downloading, 1, "DOWNLOADING")              \
  X(DownloadFinished, 2, "DOWNLOAD_FINISHED")   \
  X(Rebooting, 3, "REBOOTING")                  \
  X(Rebooted, 4, "REBOOTED")                    \
  X(Abort, 5, "ABORT")
OVIK_DEFINE_ENUM(OtaState)

#define OVIK_ENUM_UploadDataType(X)           \
  X(TypeUnspecified, 0, "TYPE_UNSPECIFIED")   \
  X(RawData, 1, "RAW_DATA")                   \
  X(CalibratedData, 2, "CALIBRATED_DATA")
OVIK_DEFINE_ENUM(UploadDataType)

#define OVIK_ENUM_SamplingRate(X)              \
  X(None, 0, "SAMPLING_RATE_NONE")             \
  X(Off, 1, "SAMPLING_RATE_OFF")               \
  X(SamplingRate25, 2, "SAMPLING_RATE_25")     \
  X(SamplingRate50, 3, "SAMPLING_RATE_50")     \
  X(SamplingRate100, 4, "SAMPLING_RATE_100")   \
  X(SamplingRate200, 5, "SAMPLING_RATE_200")
OVIK_DEFINE_ENUM(SamplingRate)

#define OVIK_ENUM_AfeSampleRate(X)       \
  X(AfeSrInvalid, 0, "AFE_SR_INVALID")   \
  X(AfeSrOff, 1, "AFE_SR_OFF")           \
  X(AfeSr125, 2, "AFE_SR_125")           \
  X(AfeSr250, 3, "AFE_SR_250")           \
  X(AfeSr500, 4, "AFE_SR_500")           \
  X(AfeSr1000, 5, "AFE_SR_1000")         \
  X(AfeSr2000, 6, "AFE_SR_2000")
OVIK_DEFINE_ENUM(AfeSampleRate)

#define OVIK_ENUM_ImuSampleRate(X)     \
  X(ImuSrUnused, 0, "IMU_SR_UNUSED")   \
  X(ImuSrOff, 1, "IMU_SR_OFF")         \
  X(ImuSr25, 2, "IMU_SR_25")           \
  X(ImuSr50, 3, "IMU_SR_50")           \
  X(ImuSr100, 4, "IMU_SR_100")         \
  X(ImuSr400, 5, "IMU_SR_400")
OVIK_DEFINE_ENUM(ImuSampleRate)

#define OVIK_ENUM_MagSampleRate(X)     \
  X(MagSrUnused, 0, "MAG_SR_UNUSED")   \
  X(MagSrOff, 1, "MAG_SR_OFF")         \
  X(MagSr10, 2, "MAG_SR_10")           \
  X(MagSr20, 3, "MAG_SR_20")           \
  X(MagSr50, 4, "MAG_SR_50")           \
  X(MagSr100, 5, "MAG_SR_100")
OVIK_DEFINE_ENUM(MagSampleRate)

#define OVIK_ENUM_ImuMode(X)  \
  X(NotSet, 0, "NOT_SET")     \
  X(Acc, 1, "ACC")            \
  X(Gyro, 2, "GYRO")          \
  X(AccGyro, 3, "ACC_GYRO")   \
  X(Euler, 4, "EULER")
OVIK_DEFINE_ENUM(ImuMode)

#define OVIK_ENUM_SensorType(X)             \
  X(SensorNone, 0, "SENSOR_NONE")           \
  X(SensorCtrlBox, 1, "SENSOR_CTRL_BOX")    \
  X(SensorEmg, 2, "SENSOR_EMG")             \
  X(SensorEeg, 3, "SENSOR_EEG")             \
  X(SensorEcg, 4, "SENSOR_ECG")             \
  X(SensorPpg, 5, "SENSOR_PPG")             \
  X(SensorGlove, 6, "SENSOR_GLOVE")         \
  X(SensorArm8ch, 7, "SENSOR_ARM_8CH")
OVIK_DEFINE_ENUM(SensorType)

#define OVIK_ENUM_BoxSensorType(X) \
  X(SensNone, 0, "SENS_NONE")      \
  X(SensImu, 1, "SENS_IMU")        \
  X(SensAcc, 2, "SENS_ACC")        \
  X(SensHall, 3, "SENS_HALL")      \
  X(SensFlex, 4, "SENS_FLEX")
OVIK_DEFINE_ENUM(BoxSensorType)

#define OVIK_ENUM_PairCmd(X)          \
  X(Unknown, 0, "PAIR_CMD_UNKNOWN")   \
  X(Pair, 1, "PAIR_CMD_PAIR")         \
  X(Verify, 2, "PAIR_CMD_VERIFY")
OVIK_DEFINE_ENUM(PairCmd)

// 0 is the chip fitted when none is reported; it has no protocol name.
#define OVIK_ENUM_PpgChip(X) \
  X(PpgMax32664, 0, "")      \
  X(PpgGh3011, 1, "PPG_GH3011")
OVIK_DEFINE_ENUM(PpgChip)

#define OVIK_ENUM_PpgDevErr(X)     \
  X(ErrNone, 0, "ERR_NONE")        \
  X(ErrHard, 1, "ERR_HARD")        \
  X(ErrUnknown, 2, "ERR_UNKNOWN")  \
  X(ErrParam, 3, "ERR_PARAM")      \
  X(ErrTimeout, 4, "ERR_TIMEOUT")
OVIK_DEFINE_ENUM(PpgDevErr)

#define OVIK_ENUM_PpgUr(X)        \
  X(PpgInvalid, 0, "PPG_INVALID") \
  X(PpgOff, 1, "PPG_OFF")         \
  X(PpgUr1, 2, "PPG_UR_1")        \
  X(PpgUr5, 3, "PPG_UR_5")        \
  X(PpgUr25, 4, "PPG_UR_25")      \
  X(PpgUr50, 5, "PPG_UR_50")      \
  X(PpgUr100, 6, "PPG_UR_100")
OVIK_DEFINE_ENUM(PpgUr)

#define OVIK_ENUM_PpgMode(X)          \
  X(Invalid, 0, "PPG_MODE_INVALID")   \
  X(Raw, 1, "PPG_MODE_RAW")           \
  X(Algo, 2, "PPG_MODE_ALGO")         \
  X(Spo2, 3, "PPG_MODE_SPO2")         \
  X(Hr, 4, "PPG_MODE_HR")             \
  X(Hrv, 5, "PPG_MODE_HRV")
OVIK_DEFINE_ENUM(PpgMode)

#define OVIK_ENUM_AlgoOpMode(X)                                      \
  X(OpModeContHrmContSpo2, 0, "OP_MODE_CONT_HRM_CONT_SPO2")          \
  X(OpModeContHrmOnesSpo2, 1, "OP_MODE_CONT_HRM_ONES_SPO2")          \
  X(OpModeContHrm, 2, "OP_MODE_CONT_HRM")                            \
  X(OpModeSampHrm, 3, "OP_MODE_SAMP_HRM")                            \
  X(OpModeSampHrmOnesSpo2, 4, "OP_MODE_SAMP_HRM_ONES_SPO2")          \
  X(OpModeActivityTracking, 5, "OP_MODE_ACTIVITY_TRACKING")          \
  X(OpModeSpo2Calibration, 6, "OP_MODE_SPO2_CALIBRATION")
OVIK_DEFINE_ENUM(AlgoOpMode)

#define OVIK_ENUM_PpgActivity(X)       \
  X(PpgActRest, 0, "PPG_ACT_REST")     \
  X(PpgActOther, 1, "PPG_ACT_OTHER")   \
  X(PpgActWalk, 2, "PPG_ACT_WALK")     \
  X(PpgActRun, 3, "PPG_ACT_RUN")       \
  X(PpgActBike, 4, "PPG_ACT_BIKE")
OVIK_DEFINE_ENUM(PpgActivity)

#define OVIK_ENUM_ScdState(X)                                \
  X(ScdStateUndetected, 0, "SCD_STATE_UNDETECTED")           \
  X(ScdStateOffSkin, 1, "SCD_STATE_OFF_SKIN")                \
  X(ScdStateOnSomeSubject, 2, "SCD_STATE_ON_SOME_SUBJECT")   \
  X(ScdStateOnSkin, 3, "SCD_STATE_ON_SKIN")
OVIK_DEFINE_ENUM(ScdState)

#define OVIK_ENUM_Spo2State(X)                                  \
  X(Spo2StateLedAdjustment, 0, "SPO2_STATE_LED_ADJUSTMENT")     \
  X(Spo2StateComputation, 1, "SPO2_STATE_COMPUTATION")          \
  X(Spo2StateRetSuccess, 2, "SPO2_STATE_RET_SUCCESS")           \
  X(Spo2StateTimeout, 3, "SPO2_STATE_TIMEOUT")
OVIK_DEFINE_ENUM(Spo2State)

}  // namespace ovik::schema
