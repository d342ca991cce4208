// The ROM image: two 8-bit byte lanes joined into 16-bit words, low byte first,
// starting at the wrap point and wrapping round to lane offset 0.
#pragma once

#include <cstddef>
#include <cstdio>

namespace bytelace {

inline constexpr std::size_t lane_length = 0x2000;  // bytes used of each lane, words in the image
inline constexpr std::size_t wrap_point = 0x1800;   // lane offset of the image's first word
inline constexpr unsigned char filler_byte = 0xFF;  // stands for a lane byte that cannot be had

inline constexpr std::size_t lead_words = lane_length - wrap_point;  // wrap point to end of lane
inline constexpr std::size_t main_words = wrap_point;                // lane start to wrap point
inline constexpr std::size_t image_length = 2 * lane_length;

// Writes the whole image from the two lanes, strictly in sequence. Lanes that are regular
// files are repositioned; any other lane is read once from its start. Failures are left in
// the streams' error indicators for the caller to find.
void merge_lanes(std::FILE* low, std::FILE* high, std::FILE* image);

}  // namespace bytelace
