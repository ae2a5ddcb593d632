#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "schema/messages.hpp"

namespace ovik::schema {
namespace {

TEST(SchemaRecords, JsonNamesAreLowerCamelCase) {
  struct Case {
    const FieldInfo& field;
    const char* json;
  };
  const Case cases[] = {
      {MessageTraits<AppSensor>::F::msg_id, "msgId"},
      {MessageTraits<AppSensor>::F::device_info_cfg, "deviceInfoCfg"},
      {MessageTraits<SensorApp>::F::imu_data2, "imuData2"},
      {MessageTraits<AlgoData>::F::spo2_lsq_flag, "spo2LsqFlag"},
      {MessageTraits<OtaConfig>::F::file_sha256, "fileSha256"},
      {MessageTraits<RawData>::F::green1, "green1"},
      {MessageTraits<AlgoData>::F::r, "r"},
      {MessageTraits<MagCalibration>::F::mag_soft_iron_correction, "magSoftIronCorrection"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.field.json_name, c.json) << c.field.name;
}

TEST(SchemaRecords, FieldKindsFollowTheMemberTypes) {
  struct Case {
    const FieldInfo& field;
    FieldKind kind;
    bool repeated;
    std::string_view type;
  };
  const Case cases[] = {
      {MessageTraits<RawData>::F::green1, FieldKind::Int32, false, ""},
      {MessageTraits<AfeData>::F::lead_off_bits, FieldKind::UInt32, false, ""},
      {MessageTraits<OtaData>::F::finished, FieldKind::Bool, false, ""},
      {MessageTraits<ImuConfResp>::F::acc_coefficient, FieldKind::Float, false, ""},
      {MessageTraits<ImuData>::F::euler_raw_data, FieldKind::Float, true, ""},
      {MessageTraits<BleConfig>::F::pair_key, FieldKind::String, false, ""},
      {MessageTraits<BleConfig>::F::mac_address, FieldKind::Bytes, false, ""},
      {MessageTraits<AfeData>::F::channel_adc_value, FieldKind::Bytes, true, ""},
      {MessageTraits<AppSensor>::F::msg_cmd, FieldKind::Enum, false, "MsgCmd"},
      {MessageTraits<PortStat>::F::box_sensor_list, FieldKind::Enum, true, "BoxSensorType"},
      {MessageTraits<AppDongle>::F::device_info, FieldKind::Message, false, "DeviceInfoConfig"},
      {MessageTraits<DongleApp>::F::device_info, FieldKind::Message, false, "DeviceInfo"},
      {MessageTraits<PpgReport>::F::algo, FieldKind::Message, true, "AlgoData"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.field.kind, c.kind) << c.field.name;
    EXPECT_EQ(c.field.repeated, c.repeated) << c.field.name;
    std::string_view type = c.field.enum_table     ? c.field.enum_table->name
                            : c.field.message_type ? c.field.message_type->name
                                                   : "";
    EXPECT_EQ(type, c.type) << c.field.name;
  }
}

TEST(SchemaRecords, DescriptorsNameEveryMessageWithItsFullPath) {
  EXPECT_EQ(descriptor_of<SensorApp>().full_name, "ovik_sdk::generated::ovik_proto::SensorApp");
  for (const MessageDescriptor* d : kAllMessageDescriptors) {
    EXPECT_EQ(d->full_name, "ovik_sdk::generated::ovik_proto::" + std::string(d->name));
  }
  EXPECT_EQ(descriptor_of<DeviceSetupInfo>().fields[0].number, 2u);
}

TEST(SchemaRecords, WalkVisitsFieldsInListOrderAndStopsOnFalse) {
  // Records each field name; stops after `stop_at`.
  auto names = [](std::vector<std::string_view>& seen, std::string_view stop_at) {
    return [&seen, stop_at](const FieldInfo& f, const auto&) {
      seen.push_back(f.name);
      return f.name != stop_at;
    };
  };
  const AppDongle message;
  std::vector<std::string_view> seen;
  EXPECT_TRUE(for_each_field(message, names(seen, "")));
  EXPECT_EQ(seen, (std::vector<std::string_view>{"msg_id", "msg_type", "device_info", "setup_info",
                                                 "ota_cfg"}));
  seen.clear();
  EXPECT_FALSE(for_each_field(message, names(seen, "device_info")));
  EXPECT_EQ(seen, (std::vector<std::string_view>{"msg_id", "msg_type", "device_info"}));
}

TEST(SchemaRecords, VisitByNumberFindsTheMemberOrReportsUnknown) {
  SensorApp message;
  auto set_seq = [](const FieldInfo&, auto& member) {
    if constexpr (std::is_same_v<std::decay_t<decltype(member)>, Optional<ImuData>>) {
      member.emplace().seq_num = 9;
      return true;
    }
    return false;
  };
  auto unknown = [] { return false; };
  EXPECT_TRUE(visit_field(message, 17, set_seq, unknown));
  EXPECT_EQ(message.imu_data2->seq_num, 9u);
  EXPECT_FALSE(message.imu_data.has_value());
  EXPECT_FALSE(visit_field(message, 4, set_seq, unknown));
}

TEST(SchemaOptional, BehavesLikeStdOptional) {
  Optional<Xyz> empty;
  EXPECT_FALSE(empty.has_value());
  EXPECT_TRUE(empty == std::nullopt);
  EXPECT_THROW(empty.value(), std::bad_optional_access);
  EXPECT_EQ(empty.value_or(Xyz{.x = 9.0f}).x, 9.0f);

  Optional<Xyz> one = Xyz{.x = 1.0f};
  ASSERT_TRUE(one);
  EXPECT_EQ(one->x, 1.0f);
  Optional<Xyz> copy = one;
  copy->x = 2.0f;
  EXPECT_EQ(one->x, 1.0f);
  EXPECT_FALSE(copy == one);
  copy = one;
  EXPECT_TRUE(copy == one);
  copy = std::nullopt;
  EXPECT_FALSE(copy == one);
  EXPECT_TRUE(copy == empty);

  Optional<ImuData> data = ImuData{.acc_raw_data = {1, 2}};
  Optional<ImuData> moved = std::move(data);
  EXPECT_EQ(moved->acc_raw_data, (Bytes{1, 2}));
  moved.emplace().seq_num = 5;  // a fresh record, not the old one
  EXPECT_EQ(*moved, ImuData{.seq_num = 5});
  moved.reset();
  EXPECT_FALSE(moved.has_value());
}

TEST(SchemaEnums, LookupByNumberKeepsUnnamedNumbers) {
  struct Case {
    std::int32_t number;
    const char* proto;  // nullptr: unnamed
    const char* debug;
  };
  const Case cases[] = {
      {0, "REQ_NONE", "ReqNone"},
      {4, "GET_SENSOR_CONFIG", "GetSensorConfig"},
      {5, nullptr, nullptr},
      {6, "START_DATA_STREAM", "StartDataStream"},
      {7, "STOP_DATA_STREAM", "StopDataStream"},
      {8, nullptr, nullptr},
      {-1, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    const EnumEntry* entry = find_entry(static_cast<MsgCmd>(c.number));
    if (!c.proto) {
      EXPECT_EQ(entry, nullptr) << c.number;
      continue;
    }
    ASSERT_NE(entry, nullptr) << c.number;
    EXPECT_EQ(entry->proto_name, c.proto);
    EXPECT_EQ(entry->debug_name, c.debug);
  }
  AppSensor message;
  message.msg_cmd = static_cast<MsgCmd>(9);
  EXPECT_EQ(to_number(message.msg_cmd), 9);
}

TEST(SchemaEnums, PpgChipZeroHasOnlyADebugName) {
  const EnumEntry* zero = find_entry(PpgChip::PpgMax32664);
  ASSERT_NE(zero, nullptr);
  EXPECT_EQ(zero->proto_name, "");
  EXPECT_EQ(zero->debug_name, "PpgMax32664");
  EXPECT_EQ(find_entry(PpgChip::PpgGh3011)->proto_name, "PPG_GH3011");
  EXPECT_EQ(find_entry(static_cast<PpgChip>(2)), nullptr);
}

TEST(SchemaEnums, EveryTableRunsFromZeroWithoutGapsButMsgCmdFive) {
  for (const EnumTable* table : kAllEnumTables) {
    std::int32_t expected = 0;
    for (const EnumEntry& entry : table->entries) {
      if (table->name == "MsgCmd" && expected == 5) ++expected;
      EXPECT_EQ(entry.number, expected++) << table->name;
    }
  }
}

}  // namespace
}  // namespace ovik::schema
