#include "pipeline/payload_decoders.hpp"

#include <array>

#include "log/log.hpp"
#include "pipeline/log_targets.hpp"

namespace ovik::pipeline {

namespace {

constexpr std::size_t kFlexChannels = 6;
constexpr std::size_t kFlexFrame = 2 * kFlexChannels;

std::vector<std::uint8_t> concatenated(const schema::Repeated<schema::Bytes>& parts) {
  std::size_t total = 0;
  for (const schema::Bytes& part : parts) total += part.size();
  std::vector<std::uint8_t> payload;
  payload.reserve(total);
  for (const schema::Bytes& part : parts) payload.insert(payload.end(), part.begin(), part.end());
  return payload;
}

std::int16_t le_word(const std::uint8_t* bytes) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8)));
}

// Raw sensor bytes hold whole triples of words; any other length is logged.
bool whole_triples(std::span<const std::uint8_t> bytes) {
  if (bytes.size() % 6 == 0) return true;
  OVIK_LOG(Error, kAfeHandlerTarget, "Invalid data length: {}", bytes.size());
  return false;
}

}  // namespace

std::vector<std::int16_t> bytes_to_i16(std::span<const std::uint8_t> bytes) {
  if (!whole_triples(bytes)) return {};
  std::vector<std::int16_t> words(bytes.size() / 2);
  for (std::size_t i = 0; i < words.size(); ++i) words[i] = le_word(&bytes[2 * i]);
  return words;
}

template <std::size_t count>
std::optional<std::array<std::int16_t, count>> first_i16(std::span<const std::uint8_t> bytes) {
  if (!whole_triples(bytes) || bytes.size() < 2 * count) return std::nullopt;
  std::array<std::int16_t, count> words;
  for (std::size_t i = 0; i < count; ++i) words[i] = le_word(&bytes[2 * i]);
  return words;
}
template std::optional<std::array<std::int16_t, 3>> first_i16<3>(std::span<const std::uint8_t> bytes);

double decode_afe_sample(std::span<const std::uint8_t> sample, std::size_t width, double scale) {
  std::int32_t value = 0;
  if (width == 3) {
    const std::uint32_t raw = (std::uint32_t{sample[0]} << 16) | (std::uint32_t{sample[1]} << 8) | sample[2];
    value = static_cast<std::int32_t>(raw << 8) >> 8;
  } else if (width == 2) {
    value = static_cast<std::int16_t>(static_cast<std::uint16_t>((sample[0] << 8) | sample[1]));
  }
  return static_cast<double>(value) * scale;
}

std::vector<double> decode_afe_data(const schema::AfeData& afe) {
  std::vector<double> out{static_cast<double>(afe.seq_num), static_cast<double>(afe.lead_off_bits)};
  const std::vector<std::uint8_t> payload = concatenated(afe.channel_adc_value);
  const std::size_t length = payload.size();
  std::size_t width = 3;
  double scale = AFE_SCALE_24BIT;
  if (length % 2 == 0 && length % 3 != 0) {
    width = 2;
    scale = AFE_SCALE_16BIT;
  } else if (length % 3 != 0) {
    OVIK_LOG(Error, kAfeHandlerTarget, "Invalid AFE data length: {} (not aligned to {} bytes)", length, 3);
    return out;
  }
  out.reserve(2 + length / width);
  for (std::size_t at = 0; at < length; at += width) {
    out.push_back(decode_afe_sample(std::span(payload).subspan(at, width), width, scale));
  }
  return out;
}

std::vector<double> decode_flex_data(const schema::FlexData& flex) {
  std::vector<double> out{static_cast<double>(flex.seq_num)};
  const std::vector<std::uint8_t> payload = concatenated(flex.channel_adc_value);
  if (payload.size() % kFlexFrame != 0) {
    OVIK_LOG(Error, kAfeHandlerTarget, "Invalid data length: {}", payload.size());
    return out;
  }
  const std::size_t frames = payload.size() / kFlexFrame;
  out.reserve(1 + payload.size() / 2);
  for (std::size_t channel = 0; channel < kFlexChannels; ++channel) {
    for (std::size_t frame = 0; frame < frames; ++frame) {
      out.push_back(le_word(&payload[frame * kFlexFrame + 2 * channel]));
    }
  }
  return out;
}

}  // namespace ovik::pipeline
