#include "rom_read.hpp"

#include <cstring>

#include "platform.hpp"

namespace bytelace {

namespace {

// Reads n bytes of a lane while ok holds; those it does not yield become the filler byte,
// and a failed read ends ok.
void read_part(std::FILE* lane, unsigned char* bytes, std::size_t n, bool& ok) {
    std::size_t const got = ok ? read_bytes(lane, bytes, n) : 0;
    ok = ok && std::ferror(lane) == 0;
    std::memset(bytes + got, filler_byte, n - got);
}

// Reads the lane_length bytes of a lane that the image uses; false when the lane failed.
bool read_lane(lane from, unsigned char* bytes) {
    bool ok = true;
    if (!from.seekable) {
        read_part(from.stream, bytes, lane_length, ok);
        return ok;
    }
    ok = std::fseek(from.stream, static_cast<long>(wrap_point), SEEK_SET) == 0;
    read_part(from.stream, bytes + wrap_point, lead_words, ok);
    // Repositioning clears end of file, so a short lane yields its bytes again from offset 0.
    ok = ok && std::fseek(from.stream, 0, SEEK_SET) == 0;
    read_part(from.stream, bytes, wrap_point, ok);
    return ok;
}

}  // namespace

lanes_read read_lanes(lane low, lane high, unsigned char* low_bytes, unsigned char* high_bytes) {
    bool const low_ok = read_lane(low, low_bytes);
    bool high_ok = low_ok;
    if (high.stream == low.stream) {
        std::memcpy(high_bytes, low_bytes, lane_length);
    } else {
        high_ok = read_lane(high, high_bytes);
    }
    if (!low_ok) return low_lane_failed;
    return high_ok ? lanes_ok : high_lane_failed;
}

image_read read_image(std::FILE* stream, unsigned char* bytes) {
    std::size_t const length = read_bytes(stream, bytes, image_length + 1);
    return {length, std::ferror(stream) == 0};
}

}  // namespace bytelace
