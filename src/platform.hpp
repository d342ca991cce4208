// What the programs need of the host beyond standard C++: native paths, files identified
// once when they are opened, outputs that are emptied only once they are known not to be an
// input, and write failures that reach the program's own messages.
#pragma once

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
    std::FILE* stream;  // nullptr when the file could not be opened
    bool regular;       // a disk file: it can be repositioned and truncated
    bool created;       // an output that did not exist before this run
    file_id id;
};

// Ignores the signals a failed write would raise, so that it fails with an error instead;
// on Windows, makes standard output binary, or "\r\n" would become CR CR LF.
void prepare_process();

// Opens a file for binary reading; a directory is not opened.
open_file open_input(const path_char* path);

// Opens a file for binary writing, creating it if need be but not truncating it.
open_file open_output(const path_char* path);

// Empties an output that is a disk file; pipes and devices are left as they are.
bool truncate_output(const open_file& file);

// Closes an output that will not be written, and removes it if this run created it.
void discard_output(const path_char* path, const open_file& file);

// Whether every byte written reached the file; closes it either way.
bool close_output(std::FILE* stream);

bool same_file(const open_file& a, const open_file& b);

// Whether path names the file, found without opening path: a second open of a FIFO waits
// for a writer, which may be gone. Always false on Windows, where no open waits so.
bool names_file(const path_char* path, const open_file& file);

}  // namespace bytelace
