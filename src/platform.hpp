// What the program needs of the host beyond standard C++: native paths, file identity,
// and binary standard output.
#pragma once

#include <cstdio>

namespace bytelace {

#ifdef _WIN32
using path_char = wchar_t;  // Windows paths are UTF-16, whatever the ANSI code page
#else
using path_char = char;
#endif

// Opens a lane for binary reading; a directory is no lane and gives nullptr.
std::FILE* open_lane(const path_char* path);

// Creates or truncates the image for binary writing.
std::FILE* create_image(const path_char* path);

// Whether path names the very file that stream has open, however it is spelled or linked.
bool names_open_file(const path_char* path, std::FILE* stream);

// Whether two streams have one file open: the same pipe named twice, say.
bool same_open_file(std::FILE* a, std::FILE* b);

bool is_regular_file(std::FILE* stream);

// Keeps "\r\n" from turning into CR CR LF on Windows.
void set_binary_stdout();

}  // namespace bytelace
