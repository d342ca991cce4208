// The ROM image: two 8-bit byte lanes joined into 16-bit words, low byte first,
// starting at the wrap point and wrapping round to lane offset 0.
#pragma once

#include <cstddef>

namespace bytelace {

inline constexpr std::size_t lane_length = 0x2000;  // bytes used of each lane, words in the image
inline constexpr std::size_t wrap_point = 0x1800;   // lane offset of the image's first word
inline constexpr unsigned char filler_byte = 0xFF;  // stands for a lane byte that cannot be had

inline constexpr std::size_t lead_words = lane_length - wrap_point;  // wrap point to end of lane
inline constexpr std::size_t image_length = 2 * lane_length;

// The image word that holds the two lanes' bytes at a lane offset.
constexpr std::size_t word_of(std::size_t lane_offset) {
    return (lane_offset + lead_words) % lane_length;
}

// The lane_length bytes that the image uses of a lane of any length: its first ones, and the
// filler byte past its end.
void fit_lane(const unsigned char* bytes, std::size_t length, unsigned char* lane);

// Pairs two lanes of lane_length bytes into the image's image_length bytes.
void join_lanes(const unsigned char* low, const unsigned char* high, unsigned char* image);

// Takes a whole image apart into its two lanes of lane_length bytes each.
void split_image(const unsigned char* image, unsigned char* low, unsigned char* high);

}  // namespace bytelace
