// What the programs need of the host beyond standard C++: native paths, files identified
// once when they are opened, outputs that are emptied only once they are known not to be an
// input, and write failures that reach the program's own messages.
#pragma once

#include <cstddef>
#include <cstdio>
#include <initializer_list>

namespace bytelace {

#ifdef _WIN32
using path_char = wchar_t;  // Windows paths are UTF-16, whatever the ANSI code page
#else
using path_char = char;
#endif

// The device and inode, or volume serial number and file index, of a file; and its size and
// times, which tell a view of it on a device of its own (bindfs, overlayfs) from another file.
struct file_id {
    unsigned long long volume;
    unsigned long long index;
    unsigned long long size;
    unsigned long long modified;  // in the host's units, to its finest
    unsigned long long changed;
    bool known;
};

struct open_file {
    std::FILE* stream;  // nullptr when the file could not be opened; stdout for its own file
    bool regular;       // a disk file: it can be repositioned and truncated
    bool device;        // a character device, such as /dev/null or NUL: it holds nothing
    bool created;       // an output that did not exist before this run
    bool shared;        // a descriptor the process was given: written where it stands
    bool readable;      // an output that can be read back through its own stream
    file_id id;
};

// Ignores the signals a failed write would raise, so that it fails with an error instead, and
// has the signals that end a run remove an output it created and has not yet written; on
// Windows, makes standard output binary, or "\r\n" would become CR CR LF.
void prepare_process();

// Opens a file for binary reading; a directory, or a file that cannot be identified, is not
// opened.
open_file open_input(const path_char* path);

// Reads up to n bytes as std::fread does, and writes n bytes as std::fwrite does, but goes on
// where a signal interrupted a read or write; how many bytes were read or written.
std::size_t read_bytes(std::FILE* stream, unsigned char* bytes, std::size_t n);
std::size_t write_bytes(std::FILE* stream, const unsigned char* bytes, std::size_t n);

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

// Opens an output for binary writing without emptying it. What path names is looked at first:
// a descriptor named by path (/dev/fd/N, /dev/stdout) or standard output's own file is written
// through that descriptor, where it stands; one of the inputs, or a file that cannot be
// identified, is refused (stream nullptr) without being opened. Anything else is opened,
// created only if nothing, not even a dangling symbolic link, stands at path, and checked
// again once open; read access is asked for only where it is to be read back (read_back),
// and then only where it is allowed.
open_file open_output(const path_char* path, std::initializer_list<const open_file*> inputs,
                      bool read_back);

// Empties an output that is a disk file of its own and writes n bytes to it; whether every
// byte reached the file.
bool write_output(const open_file& file, const unsigned char* bytes, std::size_t n);

// Hands what was written to an output that is a disk file past what a view of it caches (a
// FUSE file system's write-back cache) to the file itself, so that another output written
// next, or a read-back, meets it there; whether that succeeded.
bool settle_output(const open_file& file);

// Whether an output that can be read back still holds the n bytes written to it: another
// output that is the same file by a way no identity shows would have replaced them.
bool holds(const open_file& file, const unsigned char* bytes, std::size_t n);

// Closes an output, or for standard output a copy of its descriptor, so that a write the file
// system reports only at close is not lost; whether that succeeded.
bool close_output(const open_file& file);

// Closes an output that will not be written, and removes it if this run created it and path
// still names it.
void discard_output(const path_char* path, const open_file& file);

// Whether two open files are one: the same identity, or the same inode number, size and times
// on two devices, as a view shows the file it shows. A character device is never the same
// file as another.
bool same_file(const open_file& a, const open_file& b);

}  // namespace bytelace
