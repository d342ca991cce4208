// Bytescan's report on two fresh dumps: the checksums of each lane and of the image they join
// to, and what looks wrong with a lane on its own (blank, data bits that never change, address
// lines that change nothing, a size that is not the chip's) or with the two together.
#pragma once

#include <cstddef>

#include "checksum.hpp"
#include "rom_image.hpp"

namespace bytelace {

inline constexpr std::size_t lane_limit = 4194304;  // 4 MiB: more than any parallel EPROM holds

// A lane taken in pieces, in constant memory whatever its length.
struct lane_scan {
    checksums sums;
    unsigned long long length;
    bool repeats;                     // every byte from lane_length on repeats the one
                                      // lane_length, 2 lane_length, ... bytes before
    unsigned char used[lane_length];  // what the image uses: the first bytes, then the filler
};

lane_scan no_lane();

// Takes the next n bytes of a lane.
void scan_bytes(lane_scan& scan, const unsigned char* bytes, std::size_t n);

inline constexpr std::size_t scan_report_size = 1536;  // the longest report, and its NUL

// Writes the report on two lanes taken whole into scan_report_size bytes as a string, every
// line ending in CR LF: a line of checksums for each lane and the image, then one for each
// finding, the low lane's first, those on both last. Returns whether there is a finding.
bool scan_report(const lane_scan& low, const lane_scan& high, char* report);

}  // namespace bytelace
