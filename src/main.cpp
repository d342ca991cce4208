// Bytelace: joins a ROM's low-byte and high-byte lanes into one image.

#include <cstdio>

#include "platform.hpp"
#include "rom_image.hpp"

namespace {

enum exit_status : int {
    exit_ok = 0,
    exit_usage = 1,
    exit_open = 2,  // a lane could not be opened, or the image created
    exit_read = 3,
    exit_write = 4,
};

int fail(const char* message, exit_status status) {
    (void)std::fputs(message, stdout);  // nowhere left to report a failure to report
    (void)std::fflush(stdout);
    return status;
}

// Tells whether anything went wrong reading the lane, closing it either way.
bool close_lane(std::FILE* lane) {
    bool const failed = std::ferror(lane) != 0;
    return std::fclose(lane) != 0 || failed;
}

// Tells whether any byte of the image failed to reach the file, closing it either way.
bool close_image(std::FILE* image) {
    bool failed = std::ferror(image) != 0;
    failed = std::fflush(image) != 0 || failed;
    return std::fclose(image) != 0 || failed;
}

int run(int argc, bytelace::path_char** argv) {
    bytelace::set_binary_stdout();
    if (argc != 4)
        return fail("Usage : Bytelace low_byte_file high_byte_file rom_file\r\n", exit_usage);

    std::FILE* low = bytelace::open_lane(argv[1]);
    if (low == nullptr) return fail("Open error low_byte_file\r\n", exit_open);
    std::FILE* high = bytelace::open_lane(argv[2]);
    if (high == nullptr) {
        (void)close_lane(low);
        return fail("Open error high_byte_file\r\n", exit_open);
    }
    // Creating the image truncates it: it must not be a lane under another name.
    std::FILE* image = nullptr;
    if (!bytelace::names_open_file(argv[3], low) && !bytelace::names_open_file(argv[3], high)) {
        image = bytelace::create_image(argv[3]);
    }
    if (image == nullptr) {
        (void)close_lane(high);
        (void)close_lane(low);
        return fail("Create error rom_file\r\n", exit_open);
    }

    bytelace::merge_lanes(low, high, image);

    bool const image_failed = close_image(image);
    bool const high_failed = close_lane(high);
    bool const low_failed = close_lane(low);
    if (low_failed) return fail("Read error low_byte_file\r\n", exit_read);
    if (high_failed) return fail("Read error high_byte_file\r\n", exit_read);
    if (image_failed) return fail("Write error rom_file\r\n", exit_write);
    return exit_ok;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return run(argc, argv); }
#else
int main(int argc, char** argv) { return run(argc, argv); }
#endif
