#pragma once
// Packed sensor bytes to numbers: raw IMU and magnetometer words, EMG samples
// behind the analogue front end, flex channels.
#include <cstddef>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "schema/messages.hpp"

namespace ovik::pipeline {

inline constexpr double AFE_SCALE_24BIT = 22500.0 / 8388607.0;
inline constexpr double AFE_SCALE_16BIT = 22500.0 / 32767.0;

// Little-endian signed words, only for a length that is a multiple of 6 (0
// included); any other length logs "Invalid data length: {}" and gives none.
std::vector<std::int16_t> bytes_to_i16(std::span<const std::uint8_t> bytes);
// The same rule for the first `count` words alone, without building the rest;
// none when the bytes give fewer (or are of a length that gives none).
template <std::size_t count>
std::optional<std::array<std::int16_t, count>> first_i16(std::span<const std::uint8_t> bytes);

// One big-endian two's-complement sample of `width` bytes (3 or 2; any other
// width gives 0) times `scale`.
double decode_afe_sample(std::span<const std::uint8_t> sample, std::size_t width, double scale);

// [seq_num, lead_off_bits, samples...]; the width follows from the total
// payload length. A length that fits no width logs and gives the header only.
std::vector<double> decode_afe_data(const schema::AfeData& afe);

// [seq_num, channel 0 values, ..., channel 5 values] from 12-byte frames of
// six little-endian words; a length that is no multiple of 12 logs and gives
// [seq_num] only.
std::vector<double> decode_flex_data(const schema::FlexData& flex);

}  // namespace ovik::pipeline
