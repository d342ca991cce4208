// The faults of a chip or its wiring that change a lane in one simple way at every address:
// data lines stuck or swapped, address lines stuck or swapped. What Bytecheck names as the
// cause of a difference, and what Bytescan looks for in a lane on its own.
#pragma once

#include <bit>

#include "rom_image.hpp"

namespace bytelace {

// A chip's data lines, D0 to D7: the high chip's are the bus's D8 to D15.
inline constexpr unsigned data_lines = 8;
// A chip's address lines, A0 to A12.
inline constexpr auto address_lines = static_cast<unsigned>(std::bit_width(lane_length - 1));

// The data bits that are 1, and those that are 0, at every lane offset of a lane.
struct bit_levels {
    unsigned ones;
    unsigned zeros;
};

bit_levels levels(const unsigned char* lane);

// Whether each byte of read is expected's byte at the address with address line `line` held
// at `level` (0 or 1), for every lane offset; expected given as read itself, whether that
// line changes nothing.
bool address_held(const unsigned char* read, const unsigned char* expected, unsigned line,
                  unsigned level);

enum fault_kind : unsigned char {
    no_fault,
    data_stuck,      // stuck_low and stuck_high: the data bits stuck at 0 and at 1
    not_programmed,  // every byte 0xFF
    address_stuck,   // address line `first` stuck at `second`
    data_swapped,    // data lines `first` and `second` swapped
    address_swapped,
};

struct fault {
    fault_kind kind;
    unsigned first;
    unsigned second;
    unsigned stuck_low;
    unsigned stuck_high;
};

// The first fault, in the order of fault_kind, that turns the expected lane into the lane read
// at every lane offset; no_fault when none does. differing: the bits that differ anywhere.
fault find_fault(const unsigned char* read, const unsigned char* expected, unsigned differing);

}  // namespace bytelace
