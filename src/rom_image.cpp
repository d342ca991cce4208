#include "rom_image.hpp"

#include <cstring>

namespace bytelace {

namespace {

// Reads n bytes of a lane while ok holds; those it does not yield become the filler byte,
// and a failed read ends ok.
void read_bytes(std::FILE* lane, unsigned char* bytes, std::size_t n, bool& ok) {
    std::size_t const got = ok ? std::fread(bytes, 1, n, lane) : 0;
    ok = ok && std::ferror(lane) == 0;
    std::memset(bytes + got, filler_byte, n - got);
}

// Reads the lane_length bytes of a lane that the image uses; false when the lane failed.
bool read_lane(lane from, unsigned char* bytes) {
    bool ok = true;
    if (!from.seekable) {
        read_bytes(from.stream, bytes, lane_length, ok);
        return ok;
    }
    ok = std::fseek(from.stream, static_cast<long>(wrap_point), SEEK_SET) == 0;
    read_bytes(from.stream, bytes + wrap_point, lead_words, ok);
    // Repositioning clears end of file, so a short lane yields its bytes again from offset 0.
    ok = ok && std::fseek(from.stream, 0, SEEK_SET) == 0;
    read_bytes(from.stream, bytes, wrap_point, ok);
    return ok;
}

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

merge_outcome merge_lanes(lane low, lane high, std::FILE* image) {
    unsigned char low_bytes[lane_length];
    unsigned char high_bytes[lane_length];
    bool const low_ok = read_lane(low, low_bytes);
    bool const one_stream = high.stream == low.stream;
    bool const high_ok = one_stream ? low_ok : read_lane(high, high_bytes);
    const unsigned char* const high_lane = one_stream ? low_bytes : high_bytes;

    unsigned char words[image_length];
    interleave(low_bytes + wrap_point, high_lane + wrap_point, lead_words, words);
    interleave(low_bytes, high_lane, wrap_point, words + 2 * lead_words);
    (void)std::fwrite(words, 1, image_length, image);  // a short write sets the error indicator
    if (!low_ok) return low_lane_failed;
    return high_ok ? merged : high_lane_failed;
}

void split_image(const unsigned char* image, unsigned char* low, unsigned char* high) {
    deinterleave(image, lead_words, low + wrap_point, high + wrap_point);
    deinterleave(image + 2 * lead_words, wrap_point, low, high);
}

}  // namespace bytelace
