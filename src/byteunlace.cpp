// Byteunlace: takes a ROM image apart into the low-byte and high-byte lanes it was joined from.

#include <cstdio>

#include "exit_status.hpp"
#include "platform.hpp"
#include "rom_read.hpp"

namespace {

using namespace bytelace;

int run(int argc, path_char** argv) {
    prepare_process();
    if (argc != 4)
        return fail("Usage : Byteunlace rom_file low_byte_file high_byte_file\r\n", exit_usage);

    open_file const rom = open_input(argv[1]);
    if (rom.stream == nullptr) return fail("Open error rom_file\r\n", exit_open);
    unsigned char image[image_length + 1];
    image_read const read = read_image(rom.stream, image);
    (void)std::fclose(rom.stream);
    if (!read.ok) return fail("Read error rom_file\r\n", exit_read);
    if (read.length != image_length) return fail("Size error rom_file\r\n", exit_size);

    // Lanes are opened without truncating them, so that a lane that turns out to be the image
    // or the other lane under another name or link keeps its bytes.
    open_file const low = open_output(argv[2], {&rom}, true);
    if (low.stream == nullptr) return fail("Create error low_byte_file\r\n", exit_open);
    open_file const high = open_output(argv[3], {&rom, &low}, false);
    if (high.stream == nullptr) {
        discard_output(argv[2], low);
        return fail("Create error high_byte_file\r\n", exit_open);
    }

    unsigned char low_bytes[lane_length];
    unsigned char high_bytes[lane_length];
    split_image(image, low_bytes, high_bytes);
    // Each lane reaches the file itself before the next is written, and before the low lane
    // is read back: a low lane that is the high one by a way no identity shows (a FUSE view,
    // some network file systems) has then lost its bytes to it where the read-back sees.
    bool low_written = write_output(low, low_bytes, lane_length) && settle_output(low);
    if (!low_written) {
        discard_output(argv[3], high);  // not begun: an old high lane keeps its bytes
        (void)close_output(low);
        return fail("Write error low_byte_file\r\n", exit_write);
    }
    bool high_written = write_output(high, high_bytes, lane_length) && settle_output(high);
    high_written = close_output(high) && high_written;
    low_written = holds(low, low_bytes, lane_length);
    low_written = close_output(low) && low_written;
    if (!low_written) return fail("Write error low_byte_file\r\n", exit_write);
    if (!high_written) return fail("Write error high_byte_file\r\n", exit_write);
    return exit_ok;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return run(argc, argv); }
#else
int main(int argc, char** argv) { return run(argc, argv); }
#endif
