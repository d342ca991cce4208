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

// The image word that holds the two lanes' bytes at a lane offset.
constexpr std::size_t word_of(std::size_t lane_offset) {
    return (lane_offset + lead_words) % lane_length;
}

struct lane {
    std::FILE* stream;
    bool seekable;  // read from the wrap point, then from its start; otherwise once, in order
};

enum lanes_read { lanes_ok, low_lane_failed, high_lane_failed };

// Reads the lane_length bytes of each lane that the image uses. One stream given as both
// lanes is read once and serves as both. A lane's bytes past its end, or from a failed read
// or repositioning on, are the filler byte, and the first lane that failed is returned.
lanes_read read_lanes(lane low, lane high, unsigned char* low_bytes, unsigned char* high_bytes);

// Pairs two lanes of lane_length bytes into the image's image_length bytes.
void join_lanes(const unsigned char* low, const unsigned char* high, unsigned char* image);

// Takes a whole image apart into its two lanes of lane_length bytes each.
void split_image(const unsigned char* image, unsigned char* low, unsigned char* high);

struct image_read {
    std::size_t length;  // image_length + 1 stands for any longer image
    bool ok;             // false when reading failed before the end
};

// Reads an image into image_length + 1 bytes, reading no more than that.
image_read read_image(std::FILE* stream, unsigned char* bytes);

}  // namespace bytelace
