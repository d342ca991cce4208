#include "checksum.hpp"

#include <array>

namespace bytelace {

namespace {

constexpr std::uint32_t crc_polynomial = 0xEDB88320;  // IEEE 802.3's, bits reversed

// CRC32 eight bytes at a time (slicing by 8): table[k][b] is the remainder of byte b followed
// by k zero bytes, so eight lookups that do not wait on each other replace eight that do.
using crc_tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr crc_tables make_crc_tables() {
    crc_tables table{};
    for (std::uint32_t b = 0; b < 256; ++b) {
        std::uint32_t crc = b;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ ((crc & 1U) != 0 ? crc_polynomial : 0U);
        table[0][b] = crc;
    }
    for (std::size_t k = 1; k < 8; ++k) {
        for (std::size_t b = 0; b < 256; ++b)
            table[k][b] = (table[k - 1][b] >> 8) ^ table[0][table[k - 1][b] & 0xFF];
    }
    return table;
}

constexpr crc_tables crc_table = make_crc_tables();

std::uint32_t little_endian(const unsigned char* b) {
    return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
           std::uint32_t{b[3]} << 24;
}

std::uint32_t big_endian(const unsigned char* b) {
    return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 |
           std::uint32_t{b[3]};
}

std::uint32_t take_crc(std::uint32_t crc, const unsigned char* bytes, std::size_t n) {
    for (; n >= 8; n -= 8, bytes += 8) {
        std::uint32_t const low = crc ^ little_endian(bytes);
        crc = crc_table[7][low & 0xFF] ^ crc_table[6][(low >> 8) & 0xFF] ^
              crc_table[5][(low >> 16) & 0xFF] ^ crc_table[4][low >> 24] ^ crc_table[3][bytes[4]] ^
              crc_table[2][bytes[5]] ^ crc_table[1][bytes[6]] ^ crc_table[0][bytes[7]];
    }
    for (; n > 0; --n) crc = (crc >> 8) ^ crc_table[0][(crc ^ *bytes++) & 0xFF];
    return crc;
}

constexpr std::uint32_t rotate(std::uint32_t x, int n) { return x << n | x >> (32 - n); }

// SHA-1's four kinds of round, each a function of b, c and d and a constant. A round works on
// the five words in turn, each call naming them one place further on, so that no word moves.
struct choose {
    static std::uint32_t f(std::uint32_t b, std::uint32_t c, std::uint32_t d) {
        return d ^ (b & (c ^ d));
    }
    static constexpr std::uint32_t k = 0x5A827999;
};
struct parity {
    static std::uint32_t f(std::uint32_t b, std::uint32_t c, std::uint32_t d) { return b ^ c ^ d; }
};
struct parity1 : parity {
    static constexpr std::uint32_t k = 0x6ED9EBA1;
};
struct majority {
    static std::uint32_t f(std::uint32_t b, std::uint32_t c, std::uint32_t d) {
        return (b & c) | (d & (b | c));
    }
    static constexpr std::uint32_t k = 0x8F1BBCDC;
};
struct parity2 : parity {
    static constexpr std::uint32_t k = 0xCA62C1D6;
};

template <typename kind>
void round(std::uint32_t a, std::uint32_t& b, std::uint32_t c, std::uint32_t d, std::uint32_t& e,
           std::uint32_t w) {
    e += rotate(a, 5) + kind::f(b, c, d) + kind::k + w;
    b = rotate(b, 30);
}

// The message word of round t: one of the block's 16 words, which from round 16 on are
// replaced in turn by the words they give. Worked out here, round by round: computed ahead in
// one loop, compilers vectorize it into loads that wait on the stores just before them.
std::uint32_t word(std::uint32_t* w, int t) {
    if (t < 16) return w[t];
    w[t & 15] = rotate(w[(t - 3) & 15] ^ w[(t - 8) & 15] ^ w[(t - 14) & 15] ^ w[t & 15], 1);
    return w[t & 15];
}

// Twenty rounds of one kind, from round `from`.
template <typename kind>
void rounds(std::uint32_t* v, std::uint32_t* w, int from) {
    std::uint32_t& a = v[0];
    std::uint32_t& b = v[1];
    std::uint32_t& c = v[2];
    std::uint32_t& d = v[3];
    std::uint32_t& e = v[4];
    for (int t = from; t < from + 20; t += 5) {
        round<kind>(a, b, c, d, e, word(w, t));
        round<kind>(e, a, b, c, d, word(w, t + 1));
        round<kind>(d, e, a, b, c, word(w, t + 2));
        round<kind>(c, d, e, a, b, word(w, t + 3));
        round<kind>(b, c, d, e, a, word(w, t + 4));
    }
}

// SHA-1's compression of one 64-byte block into the state.
void compress(std::uint32_t* state, const unsigned char* block) {
    std::uint32_t w[16];
    for (std::size_t t = 0; t < 16; ++t) w[t] = big_endian(block + 4 * t);
    std::uint32_t v[5] = {state[0], state[1], state[2], state[3], state[4]};
    rounds<choose>(v, w, 0);
    rounds<parity1>(v, w, 20);
    rounds<majority>(v, w, 40);
    rounds<parity2>(v, w, 60);
    for (int i = 0; i < 5; ++i) state[i] += v[i];
}

void take_sha1(checksums& sums, const unsigned char* bytes, std::size_t n) {
    auto used = static_cast<std::size_t>(sums.length % 64);
    sums.length += n;
    while (n > 0) {
        if (used == 0 && n >= 64) {  // whole blocks straight from the bytes
            compress(sums.state, bytes);
            bytes += 64;
            n -= 64;
            continue;
        }
        std::size_t const part = 64 - used < n ? 64 - used : n;
        for (std::size_t i = 0; i < part; ++i) sums.block[used + i] = bytes[i];
        bytes += part;
        n -= part;
        used += part;
        if (used == 64) {
            compress(sums.state, sums.block);
            used = 0;
        }
    }
}

}  // namespace

checksums no_bytes() {
    return {0xFFFFFFFF, {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0}, 0, {}, 0};
}

void take_bytes(checksums& sums, const unsigned char* bytes, std::size_t n) {
    sums.crc = take_crc(sums.crc, bytes, n);
    unsigned sum = sums.sum;
    for (std::size_t i = 0; i < n; ++i) sum += bytes[i];
    sums.sum = static_cast<std::uint16_t>(sum);
    take_sha1(sums, bytes, n);
}

digests finish(checksums sums) {
    digests out{~sums.crc, {}, sums.sum};
    // SHA-1's padding: a 1 bit, zeros up to 8 bytes short of a block's end, and the length in
    // bits, which take a block of their own when fewer than 9 bytes of the last are left.
    std::uint64_t const bits = sums.length * 8;
    unsigned char padding[72] = {0x80};
    std::size_t const used = sums.length % 64;
    std::size_t const lead = (used < 56 ? 56 : 120) - used;  // 0x80 and the zeros
    for (std::size_t i = 0; i < 8; ++i)
        padding[lead + i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    take_sha1(sums, padding, lead + 8);
    for (std::size_t i = 0; i < sha1_length; ++i)
        out.sha1[i] = static_cast<unsigned char>(sums.state[i / 4] >> (24 - 8 * (i % 4)));
    return out;
}

}  // namespace bytelace
