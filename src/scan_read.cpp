// Reading lanes whole for Bytescan, apart from rom_read.cpp so that the other programs, which
// link the library statically, do not carry the checksums.

#include "platform.hpp"
#include "rom_read.hpp"

namespace bytelace {

namespace {

// Reads a lane whole into its scan; false when reading failed.
bool scan_lane(std::FILE* lane, lane_scan& scan) {
    unsigned char chunk[16384];
    for (std::size_t got = 0;
         scan.length <= lane_limit && (got = read_bytes(lane, chunk, sizeof chunk)) != 0;)
        scan_bytes(scan, chunk, got);
    return std::ferror(lane) == 0;
}

}  // namespace

lanes_read scan_lanes(std::FILE* low, std::FILE* high, lane_scan& low_scan, lane_scan& high_scan) {
    if (!scan_lane(low, low_scan)) return low_lane_failed;
    if (low_scan.length > lane_limit) return low_lane_long;
    if (high == low) {
        high_scan = low_scan;
    } else if (!scan_lane(high, high_scan)) {
        return high_lane_failed;
    }
    return high_scan.length > lane_limit ? high_lane_long : lanes_ok;
}

}  // namespace bytelace
