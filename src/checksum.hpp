// The checksums that ROM lists and chip labels carry: CRC32 (IEEE 802.3, as zlib computes it),
// SHA-1 (FIPS 180-4) and the byte sum modulo 65536 that EPROM programmers show, taken over
// bytes given in any number of pieces. Written here, so that the page's module, which links no
// C library, runs the same code as the programs.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bytelace {

struct checksums {
    std::uint32_t crc;        // as it runs: inverted
    std::uint32_t state[5];   // SHA-1's
    std::uint64_t length;     // bytes taken
    unsigned char block[64];  // SHA-1's block, filled up to length mod 64
    std::uint16_t sum;
};

inline constexpr std::size_t sha1_length = 20;

// Checksums of nothing yet.
checksums no_bytes();

void take_bytes(checksums& sums, const unsigned char* bytes, std::size_t n);

struct digests {
    std::uint32_t crc32;
    unsigned char sha1[sha1_length];
    std::uint16_t sum;
};

// The checksums of every byte taken.
digests finish(checksums sums);

}  // namespace bytelace
