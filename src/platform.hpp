// What the programs need of the host beyond standard C++: native paths, files identified
// once when they are opened, outputs that are emptied only once they are known not to be an
// input, and write failures that reach the program's own messages.
#pragma once

#include <cstddef>
#include <cstdio>

namespace bytelace {

#ifdef _WIN32
using path_char = wchar_t;  // Windows paths are UTF-16, whatever the ANSI code page
#else
using path_char = char;
#endif

// The device and inode, or volume serial number and file index, of a file.
struct file_id {
    unsigned long long volume;
    unsigned long long index;
    bool known;
};

struct open_file {
    std::FILE* stream;  // nullptr when the file could not be opened; stdout for its own file
    bool regular;       // a disk file: it can be repositioned and truncated
    bool device;        // a character device, such as /dev/null or NUL: it holds nothing
    bool created;       // an output that did not exist before this run
    file_id id;
};

// Ignores the signals a failed write would raise, so that it fails with an error instead;
// on Windows, makes standard output binary, or "\r\n" would become CR CR LF.
void prepare_process();

// Opens a file for binary reading; a directory is not opened.
open_file open_input(const path_char* path);

// A ROM's two lanes, open for reading. A lane that can be read only once (a FIFO) named as
// both is opened once, and its one stream serves as both.
struct lane_files {
    open_file low;
    open_file high;
};

// Opens the low lane, then the high one. A stream is nullptr where that lane could not be
// opened, or was not tried; then no lane is left open.
lane_files open_lanes(const path_char* low, const path_char* high);

void close_lanes(const lane_files& lanes);

// Opens a file for binary writing without truncating it, creating it only if nothing, not
// even a dangling symbolic link, stands at path. An output that is standard output's own
// file is given standard output's stream, to be written where the shell left it.
open_file open_output(const path_char* path);

// Empties an output that is a disk file of its own (pipes, devices and standard output are
// left as they are) and writes n bytes to it; whether every byte reached the file. Closes
// it either way, but standard output.
bool write_output(const open_file& file, const unsigned char* bytes, std::size_t n);

// Closes an output that will not be written, and removes it if this run created it and path
// still names it.
void discard_output(const path_char* path, const open_file& file);

// Whether two open files are one; a character device is never the same file as another.
bool same_file(const open_file& a, const open_file& b);

}  // namespace bytelace
