#include "pipeline/fusion.hpp"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "common/global.hpp"
#include "log/log.hpp"
#include "pipeline/dispatchers.hpp"
#include "pipeline/log_targets.hpp"
#include "pipeline/mahony_filter.hpp"
#include "pipeline/payload_decoders.hpp"
#include "pipeline/sample_buffers.hpp"

namespace ovik::pipeline {

namespace {

constexpr float kFirstHalfStep = 0.005f;
constexpr float kSamplePeriod = 0.01f;
constexpr std::int64_t kLargestGap = 100;
constexpr float kFieldLow = 0.25f;
constexpr float kFieldHigh = 0.75f;
constexpr std::uint32_t kAnomalyThreshold = 10;

struct FusionState {
  bool initialised = false;
  std::uint32_t last_seq = 0;
  Quaternion q;
};

// The per-port states and the magnetic anomaly balance; the update holds the
// mutex from the time step to the quaternion's send, so updates apply in
// message order.
struct Fusion {
  std::mutex mutex;
  std::unordered_map<std::uint32_t, FusionState> states;
  std::uint32_t anomaly_count = 0;
  bool anomaly_active = false;
};

// Read at every IMU message, without a lock; a change takes the mutex so
// that concurrent changes log in the order they apply.
struct ModeStore {
  std::mutex mutex;
  std::atomic<FusionMode> mode{FusionMode::Imu6Axis};
};

Global<Fusion> g_fusion;
Global<ModeStore> g_mode;

FusionMode current_mode() { return g_mode->mode.load(std::memory_order_acquire); }

bool finite(Vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

template <class Values>
Vec3 first_triple(const Values& values) {
  return {static_cast<float>(values[0]), static_cast<float>(values[1]), static_cast<float>(values[2])};
}

// The first acc and gyro triples: the correction values when both sides have
// three, else the raw words.
std::optional<std::pair<Vec3, Vec3>> raw_inputs(const schema::ImuData& imu) {
  if (imu.acc_correction_data.size() >= 3 && imu.gyro_correction_data.size() >= 3) {
    return std::pair{first_triple(imu.acc_correction_data), first_triple(imu.gyro_correction_data)};
  }
  const auto acc = first_i16<3>(imu.acc_raw_data);
  const auto gyro = first_i16<3>(imu.gyro_raw_data);
  if (!acc || !gyro) return std::nullopt;
  return std::pair{first_triple(*acc), first_triple(*gyro)};
}

float half_step(FusionState& state, std::uint32_t seq_num) {
  float half_t = kFirstHalfStep;
  if (state.initialised) {
    std::int64_t gap = std::abs(static_cast<std::int64_t>(static_cast<std::int32_t>(seq_num - state.last_seq)));
    if (gap > kLargestGap) gap = 1;
    half_t = static_cast<float>(gap) * kSamplePeriod * 0.5f;
  }
  state.initialised = true;
  state.last_seq = seq_num;
  return half_t;
}

// The newest magnetometer reading, scaled; none when the buffer has no
// usable record.
std::optional<Vec3> newest_field(float scale) {
  return mag_buffer().with_newest([scale](const MagRecord* newest) -> std::optional<Vec3> {
    if (!newest) return std::nullopt;
    const schema::MagData& mag = **newest;
    Vec3 m;
    if (mag.mag_correction_data.size() >= 3) {
      m = first_triple(mag.mag_correction_data);
    } else {
      const auto words = first_i16<3>(mag.mag_raw_data);
      if (!words) return std::nullopt;
      m = first_triple(*words);
    }
    return Vec3{m.x * scale, m.y * scale, m.z * scale};
  });
}

// Moves the anomaly balance by one reading; whether the reading may be used.
bool judge_field(Fusion& fusion, Vec3 m) {
  const float magnitude = std::sqrt(m.x * m.x + m.y * m.y + m.z * m.z);
  if (magnitude >= kFieldLow && magnitude <= kFieldHigh) {
    if (fusion.anomaly_count > 0) --fusion.anomaly_count;
    if (fusion.anomaly_count == 0 && fusion.anomaly_active) {
      fusion.anomaly_active = false;
      OVIK_LOG(Info, kDataTarget,
               "✅ [Compass Recovered] Magnetic field normalized: {:.3f} Gauss. Re-activated high-accuracy 9-axis "
               "fusion.",
               magnitude);
    }
    return true;
  }
  if (fusion.anomaly_count < std::numeric_limits<std::uint32_t>::max()) ++fusion.anomaly_count;
  if (fusion.anomaly_count < kAnomalyThreshold) return true;
  if (!fusion.anomaly_active) {
    fusion.anomaly_active = true;
    OVIK_LOG(Warn, kDataTarget,
             "🚨 [Compass Warning] Severe magnetic anomaly detected: {:.3f} Gauss (Safe: 0.25~0.75). Auto-downgraded to "
             "6-axis IMU fusion to ensure motion safety!",
             magnitude);
  }
  return false;
}

std::optional<Vec3> chosen_field(Fusion& fusion) {
  if (current_mode() != FusionMode::Marg9Axis) return std::nullopt;
  const std::optional<Vec3> m = newest_field(mag_scale());
  if (!m || !finite(*m) || !judge_field(fusion, *m)) return std::nullopt;
  return m;
}

void publish_quaternion(std::uint32_t seq_num, const Quaternion& q) {
  quaternion_buffer().append({static_cast<double>(seq_num), q.q0, q.q1, q.q2, q.q3}, [](const QuaternionRow& row) {
    if (slot_set(CallbackKind::Quaternion)) quaternion_dispatcher().dispatch(RowBatch{Row(row.begin(), row.end())});
  });
}

}  // namespace

std::string_view fusion_mode_name(FusionMode mode) {
  return mode == FusionMode::Marg9Axis ? "Marg9Axis" : "Imu6Axis";
}

void set_fusion_mode(FusionMode mode) {
  log::DeferredScope deferred;
  std::lock_guard lock(g_mode->mutex);
  g_mode->mode.store(mode, std::memory_order_release);
  OVIK_LOG(Info, kDataTarget, "Attitude fusion mode configured to: {}", fusion_mode_name(mode));
}

std::optional<EulerAngles> mahony_update(const schema::ImuData& imu, ImuScale scale) {
  const std::optional<std::pair<Vec3, Vec3>> inputs = raw_inputs(imu);
  if (!inputs) return std::nullopt;
  const Vec3 a{inputs->first.x * scale.acc, inputs->first.y * scale.acc, inputs->first.z * scale.acc};
  const Vec3 g{inputs->second.x * scale.gyro * kDegToRad, inputs->second.y * scale.gyro * kDegToRad,
               inputs->second.z * scale.gyro * kDegToRad};
  if (!finite(a) || !finite(g)) return std::nullopt;

  Fusion& fusion = *g_fusion;
  std::lock_guard lock(fusion.mutex);
  FusionState& state = fusion.states[static_cast<std::uint32_t>(imu.port)];
  const float half_t = half_step(state, imu.seq_num);
  const std::optional<Vec3> m = chosen_field(fusion);
  mahony_step(state.q, a, g, m ? &*m : nullptr, half_t);
  publish_quaternion(imu.seq_num, state.q);
  return euler_degrees(state.q);
}

}  // namespace ovik::pipeline
