// What each host gives the rules of platform.cpp: one file for each, host_posix.cpp and
// host_windows.cpp, which the build picks.
#pragma once

#include <cstdio>

#include "platform.hpp"

namespace bytelace {

std::FILE* open_for_reading(const path_char* path);

// Opens the file looked at, or creates one where nothing stood at path (absent), for writing,
// without emptying it; read-write only where it is to be read back and reading is allowed
// (file.readable). Sets file.created.
std::FILE* open_for_writing(const path_char* path, bool absent, bool read_back, open_file& file);

bool identify(open_file& file);  // false for a directory, or a file with no identity to be had

// Identifies what path names without opening it for writing; false when that cannot be known.
// absent: nothing stands at path. A pipe or device is not opened to be looked at: its one
// connection, or a line raised on opening it, belongs to the open that writes.
bool look(const path_char* path, open_file& file, bool& absent);

// The descriptor a path names the way a shell reads it (/dev/fd/N, /proc/self/fd/N,
// /dev/stdout), if that descriptor is open; otherwise -1.
int descriptor_named(const path_char* path);

std::FILE* stream_on_copy(int fd);  // a stream of its own on a copy of an open descriptor

// Whether a read or write just failed only because a signal interrupted it.
bool interrupted();

bool truncate_output(const open_file& file);
bool flush_to_file(std::FILE* stream);  // past the caches of a view, not to the disk
void drop_cached(std::FILE* stream);    // so that a read meets the file itself

// Whether path names the file. A pipe's or device's path is never looked up: another open of
// it would take a connection of its own.
bool names_file(const path_char* path, const open_file& file);
bool empty_file(const path_char* path);
void remove_file(const path_char* path);

// The signals that end a run, held back while an output is created and registered for
// removal; release_signals takes what hold_signals returned.
unsigned hold_signals();
void release_signals(unsigned held);
// The signals that end a run remove an output created but not yet written, while path still
// names it.
void remove_on_signal(const path_char* path, const open_file& file);
void keep_on_signal(const open_file& file);

}  // namespace bytelace
