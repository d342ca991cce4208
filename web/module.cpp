// What the page calls in the WebAssembly module: the programs' own layout and check, on the
// bytes of whole files that the page places in the module's memory. Lengths are in bytes.

#include <cstddef>

#include "rom_check.hpp"
#include "rom_image.hpp"
#include "rom_scan.hpp"

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
[[clang::export_name("scan_report_bytes")]] std::size_t scan_report_bytes() {
    return scan_report_size;
}
// The longest lane Bytescan takes.
[[clang::export_name("scan_limit")]] std::size_t scan_limit() { return lane_limit; }

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

// Bytecheck's differences, to draw: for each lane offset, the lane's byte XOR the image's, the
// low lane's lane_length bytes first, then the high lane's; false for an image of another size.
[[clang::export_name("differences")]] bool differences(
    const unsigned char* low, std::size_t low_length, const unsigned char* high,
    std::size_t high_length, const unsigned char* image, std::size_t length, unsigned char* map) {
    if (length != image_length) return false;
    unsigned char expected[2][lane_length];
    split_image(image, expected[0], expected[1]);
    fit_lane(low, low_length, map);
    fit_lane(high, high_length, map + lane_length);
    for (std::size_t i = 0; i < lane_length; ++i) {
        map[i] ^= expected[0][i];
        map[lane_length + i] ^= expected[1][i];
    }
    return true;
}

// Bytescan: writes the report on two lanes of any length up to scan_limit() bytes; whether it
// holds a finding.
[[clang::export_name("scan")]] bool scan(const unsigned char* low, std::size_t low_length,
                                         const unsigned char* high, std::size_t high_length,
                                         char* report) {
    lane_scan low_scan = no_lane();
    lane_scan high_scan = no_lane();
    scan_bytes(low_scan, low, low_length);
    scan_bytes(high_scan, high, high_length);
    return scan_report(low_scan, high_scan, report);
}
}
