// What the page calls in the WebAssembly module: the programs' own layout and check, on the
// bytes of whole files that the page places in the module's memory. Lengths are in bytes.

#include <cstddef>

#include "rom_check.hpp"
#include "rom_image.hpp"

using namespace bytelace;

extern "C" {

// The one function of the C library that the shared code calls, here so that the module holds
// no code but the project's own.
int memcmp(const void* a, const void* b, std::size_t n) {
    const auto* x = static_cast<const unsigned char*>(a);
    const auto* y = static_cast<const unsigned char*>(b);
    for (std::size_t i = 0; i < n; ++i)
        if (x[i] != y[i]) return x[i] - y[i];
    return 0;
}

// The sizes of what the module writes, for the page to make room for.
[[clang::export_name("lane_bytes")]] std::size_t lane_bytes() { return lane_length; }
[[clang::export_name("image_bytes")]] std::size_t image_bytes() { return image_length; }
[[clang::export_name("report_bytes")]] std::size_t report_bytes() { return report_size; }

// Bytelace: joins two lanes of any length into the image.
[[clang::export_name("join")]] void join(const unsigned char* low, std::size_t low_length,
                                         const unsigned char* high, std::size_t high_length,
                                         unsigned char* image) {
    unsigned char low_lane[lane_length];
    unsigned char high_lane[lane_length];
    fit_lane(low, low_length, low_lane);
    fit_lane(high, high_length, high_lane);
    join_lanes(low_lane, high_lane, image);
}

// Byteunlace: takes an image apart into its lanes; false for one of another size.
[[clang::export_name("split")]] bool split(const unsigned char* image, std::size_t length,
                                           unsigned char* low, unsigned char* high) {
    if (length != image_length) return false;
    split_image(image, low, high);
    return true;
}

// Bytecheck: writes the report on two lanes of any length and an image; false for an image
// of another size.
[[clang::export_name("check")]] bool check(const unsigned char* low, std::size_t low_length,
                                           const unsigned char* high, std::size_t high_length,
                                           const unsigned char* image, std::size_t length,
                                           char* report) {
    if (length != image_length) return false;
    unsigned char low_lane[lane_length];
    unsigned char high_lane[lane_length];
    fit_lane(low, low_length, low_lane);
    fit_lane(high, high_length, high_lane);
    check_lanes(low_lane, high_lane, image, report);
    return true;
}
}
