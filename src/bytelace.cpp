// Bytelace: joins a ROM's low-byte and high-byte lanes into one image.

#include <cstdio>

#include "exit_status.hpp"
#include "platform.hpp"
#include "rom_image.hpp"

namespace {

using namespace bytelace;

void close_lanes(const open_file& low, const open_file& high) {
    if (high.stream != low.stream) (void)std::fclose(high.stream);
    (void)std::fclose(low.stream);
}

int run(int argc, path_char** argv) {
    prepare_process();
    if (argc != 4)
        return fail("Usage : Bytelace low_byte_file high_byte_file rom_file\r\n", exit_usage);

    open_file const low = open_input(argv[1]);
    if (low.stream == nullptr) return fail("Open error low_byte_file\r\n", exit_open);
    // A lane that can be read only once is not opened again: its one stream serves as both.
    open_file const high = !low.regular && names_file(argv[2], low) ? low : open_input(argv[2]);
    if (high.stream == nullptr) {
        (void)std::fclose(low.stream);
        return fail("Open error high_byte_file\r\n", exit_open);
    }
    // Emptied only once it is known to be neither lane under another name or link.
    open_file const image = open_output(argv[3]);
    if (image.stream == nullptr || same_file(image, low) || same_file(image, high) ||
        !truncate_output(image)) {
        if (image.stream != nullptr) discard_output(argv[3], image);
        close_lanes(low, high);
        return fail("Create error rom_file\r\n", exit_open);
    }

    merge_outcome const outcome =
        merge_lanes({low.stream, low.regular}, {high.stream, high.regular}, image.stream);
    bool const written = close_output(image.stream);
    close_lanes(low, high);
    if (outcome == low_lane_failed) return fail("Read error low_byte_file\r\n", exit_read);
    if (outcome == high_lane_failed) return fail("Read error high_byte_file\r\n", exit_read);
    if (!written) return fail("Write error rom_file\r\n", exit_write);
    return exit_ok;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return run(argc, argv); }
#else
int main(int argc, char** argv) { return run(argc, argv); }
#endif
