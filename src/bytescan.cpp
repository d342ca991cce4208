// Bytescan: tells whether two lanes, just read from the chips, look like good dumps, and gives
// their checksums and those of the image they join to.

#include <cstdio>

#include "exit_status.hpp"
#include "platform.hpp"
#include "rom_read.hpp"
#include "rom_scan.hpp"

namespace {

using namespace bytelace;

int run(int argc, path_char** argv) {
    prepare_process();
    if (argc != 3) return fail("Usage : Bytescan low_byte_file high_byte_file\r\n", exit_usage);

    lane_files const lanes = open_lanes(argv[1], argv[2]);
    if (lanes.low.stream == nullptr) return fail("Open error low_byte_file\r\n", exit_open);
    if (lanes.high.stream == nullptr) return fail("Open error high_byte_file\r\n", exit_open);
    lane_scan low = no_lane();
    lane_scan high = no_lane();
    lanes_read const outcome = scan_lanes(lanes.low.stream, lanes.high.stream, low, high);
    close_lanes(lanes);
    if (outcome == low_lane_failed) return fail("Read error low_byte_file\r\n", exit_read);
    if (outcome == low_lane_long) return fail("Size error low_byte_file\r\n", exit_size);
    if (outcome == high_lane_failed) return fail("Read error high_byte_file\r\n", exit_read);
    if (outcome == high_lane_long) return fail("Size error high_byte_file\r\n", exit_size);

    char lines[scan_report_size];
    bool const suspect = scan_report(low, high, lines);
    return report(lines, suspect ? exit_suspect : exit_ok);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return run(argc, argv); }
#else
int main(int argc, char** argv) { return run(argc, argv); }
#endif
