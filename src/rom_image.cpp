#include "rom_image.hpp"

#include <cstring>

namespace bytelace {

namespace {

// Pairs n bytes of each lane into n words, low byte first.
void interleave(const unsigned char* low, const unsigned char* high, std::size_t n,
                unsigned char* words) {
    for (std::size_t i = 0; i < n; ++i) {
        words[2 * i] = low[i];
        words[2 * i + 1] = high[i];
    }
}

void deinterleave(const unsigned char* words, std::size_t n, unsigned char* low,
                  unsigned char* high) {
    for (std::size_t i = 0; i < n; ++i) {
        low[i] = words[2 * i];
        high[i] = words[2 * i + 1];
    }
}

}  // namespace

void fit_lane(const unsigned char* bytes, std::size_t length, unsigned char* lane) {
    std::size_t const used = length < lane_length ? length : lane_length;
    std::memcpy(lane, bytes, used);
    std::memset(lane + used, filler_byte, lane_length - used);
}

void join_lanes(const unsigned char* low, const unsigned char* high, unsigned char* image) {
    interleave(low + wrap_point, high + wrap_point, lead_words, image);
    interleave(low, high, wrap_point, image + 2 * lead_words);
}

void split_image(const unsigned char* image, unsigned char* low, unsigned char* high) {
    deinterleave(image, lead_words, low + wrap_point, high + wrap_point);
    deinterleave(image + 2 * lead_words, wrap_point, low, high);
}

}  // namespace bytelace
