// How the programs end: one status for each kind of outcome, and the one line that says it.
#pragma once

#include <cstdio>

namespace bytelace {

enum exit_status : unsigned char {
    exit_ok = 0,
    exit_usage = 1,
    exit_open = 2,  // a file could not be opened, or an output created
    exit_read = 3,
    exit_write = 4,
    exit_size = 5,     // an image that is not image_length bytes long
    exit_differ = 6,   // lanes that do not join to the image
    exit_suspect = 7,  // lanes that do not look like good dumps
};

inline int fail(const char* message, exit_status status) {
    (void)std::fputs(message, stdout);  // nowhere left to report a failure to report
    (void)std::fflush(stdout);
    return status;
}

// A report that is the run's result: one that cannot be written is a write error.
inline int report(const char* lines, exit_status status) {
    bool const written = std::fputs(lines, stdout) >= 0;
    return std::fflush(stdout) == 0 && written ? status : exit_write;
}

}  // namespace bytelace
