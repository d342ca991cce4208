// Reading a ROM's lanes and its image from files, for the image's layout.
#pragma once

#include <cstddef>
#include <cstdio>

#include "rom_image.hpp"
#include "rom_scan.hpp"

namespace bytelace {

struct lane {
    std::FILE* stream;
    bool seekable;  // read from the wrap point, then from its start; otherwise once, in order
};

enum lanes_read : unsigned char {
    lanes_ok,
    low_lane_failed,
    high_lane_failed,
    low_lane_long,  // longer than lane_limit
    high_lane_long,
};

// Reads the lane_length bytes of each lane that the image uses. One stream given as both
// lanes is read once and serves as both. A lane's bytes past its end, or from a failed read
// or repositioning on, are the filler byte, and the first lane that failed is returned.
lanes_read read_lanes(lane low, lane high, unsigned char* low_bytes, unsigned char* high_bytes);

// Reads each lane to its end, or to past lane_limit, into its scan; one stream given as both
// lanes is read once and serves as both. Returns the first lane that failed or was too long.
lanes_read scan_lanes(std::FILE* low, std::FILE* high, lane_scan& low_scan, lane_scan& high_scan);

struct image_read {
    std::size_t length;  // image_length + 1 stands for any longer image
    bool ok;             // false when reading failed before the end
};

// Reads an image into image_length + 1 bytes, reading no more than that.
image_read read_image(std::FILE* stream, unsigned char* bytes);

}  // namespace bytelace
