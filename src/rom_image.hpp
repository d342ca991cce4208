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
inline constexpr std::size_t image_length = 2 * lane_length;

struct lane {
    std::FILE* stream;
    bool seekable;  // read from the wrap point, then from its start; otherwise once, in order
};

enum merge_outcome { merged, low_lane_failed, high_lane_failed };

// Writes the whole image, strictly in sequence. One stream given as both lanes is read once
// and serves as both. A lane's bytes past its end, or from a failed read or repositioning on,
// are the filler byte, and the first lane that failed is returned; write failures are left
// in the image's error indicator.
merge_outcome merge_lanes(lane low, lane high, std::FILE* image);

// Takes a whole image apart into its two lanes of lane_length bytes each.
void split_image(const unsigned char* image, unsigned char* low, unsigned char* high);

}  // namespace bytelace
