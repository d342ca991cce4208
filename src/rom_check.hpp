// Bytecheck's verdict: whether two lanes read back join to exactly an image, and the lines
// that say where they do not.
#pragma once

#include <cstddef>

namespace bytelace {

inline constexpr std::size_t report_size = 768;  // the longest report, four lines, and its NUL

// Compares two lanes of lane_length bytes with the lanes of an image of image_length bytes,
// and writes the report into report_size bytes as a string: "Swapped ..." when the lanes are
// each other's, otherwise a "Mismatch ..." line for each lane that differs, each followed by
// a "Cause ..." line where one fault of its chip explains every difference, every line ending
// in CR LF; nothing when they join to exactly the image. Returns the report's length.
std::size_t check_lanes(const unsigned char* low, const unsigned char* high,
                        const unsigned char* image, char* report);

}  // namespace bytelace
