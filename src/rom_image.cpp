#include "rom_image.hpp"

#include <algorithm>
#include <cstring>

#include "platform.hpp"

namespace bytelace {

namespace {

constexpr std::size_t chunk_words = lead_words;

// Reads the next n bytes of a lane; those it does not yield (end of file, or a stream that
// has already failed) become the filler byte.
void read_lane(std::FILE* lane, unsigned char* bytes, std::size_t n) {
    std::size_t const got = std::ferror(lane) != 0 ? 0 : std::fread(bytes, 1, n, lane);
    std::memset(bytes + got, filler_byte, n - got);
}

// Puts a lane at the wrap point. A lane that cannot be repositioned (a pipe, a device) is
// read from its start instead and its main block kept in held, which is returned; for a
// lane that was repositioned, nullptr.
const unsigned char* start_lead(std::FILE* lane, unsigned char* held) {
    if (is_regular_file(lane) && std::fseek(lane, static_cast<long>(wrap_point), SEEK_SET) == 0)
        return nullptr;
    read_lane(lane, held, main_words);
    return held;
}

// The lane's bytes for main-block words [first, first + n): held, or read from the stream.
const unsigned char* main_column(std::FILE* lane, const unsigned char* held, unsigned char* buffer,
                                 std::size_t first, std::size_t n) {
    if (held != nullptr) return held + first;
    read_lane(lane, buffer, n);
    return buffer;
}

void write_words(const unsigned char* low, const unsigned char* high, std::size_t n,
                 std::FILE* image) {
    unsigned char words[2 * chunk_words]{};
    for (std::size_t i = 0; i < n; ++i) {
        words[2 * i] = low[i];
        words[2 * i + 1] = high[i];
    }
    (void)std::fwrite(words, 1, 2 * n, image);  // a short write leaves the error indicator set
}

}  // namespace

void merge_lanes(std::FILE* low, std::FILE* high, std::FILE* image) {
    unsigned char low_held[main_words];
    unsigned char high_held[main_words];
    const unsigned char* const low_kept = start_lead(low, low_held);
    // Both lanes through one pipe: its bytes can be read only once, so they serve as both.
    bool const one_stream = low_kept != nullptr && same_open_file(low, high);
    const unsigned char* const high_kept = one_stream ? low_kept : start_lead(high, high_held);

    unsigned char low_bytes[chunk_words];
    unsigned char high_bytes[chunk_words];
    read_lane(low, low_bytes, lead_words);
    if (!one_stream) read_lane(high, high_bytes, lead_words);
    write_words(low_bytes, one_stream ? low_bytes : high_bytes, lead_words, image);

    // Repositioning clears end of file, so a short lane yields its bytes again from offset 0.
    // A regular file that went to the wrap point goes back to its start.
    if (low_kept == nullptr) (void)std::fseek(low, 0, SEEK_SET);
    if (high_kept == nullptr) (void)std::fseek(high, 0, SEEK_SET);
    for (std::size_t first = 0; first < main_words; first += chunk_words) {
        std::size_t const n = std::min(chunk_words, main_words - first);
        write_words(main_column(low, low_kept, low_bytes, first, n),
                    main_column(high, high_kept, high_bytes, first, n), n, image);
    }
}

}  // namespace bytelace
