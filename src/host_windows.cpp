// The host for Windows, XP SP3 and later: paths as UTF-16, files by handle.

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "host.hpp"

namespace bytelace {

namespace {

HANDLE handle_of(std::FILE* stream) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

unsigned long long joined(DWORD high, DWORD low) {
    return (static_cast<unsigned long long>(high) << 32) | low;
}

// Reads the kind and identity of an open handle; false for a directory, or a disk file
// whose identity cannot be had.
bool describe(HANDLE handle, open_file& file) {
    DWORD const type = GetFileType(handle);
    file.regular = type == FILE_TYPE_DISK;
    file.device = type == FILE_TYPE_CHAR;
    if (!file.regular) return type != FILE_TYPE_UNKNOWN;  // a pipe or device has none
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(handle, &info) == 0) return false;
    // No change time before Vista: the creation time stands in for it.
    file.id = {info.dwVolumeSerialNumber,
               joined(info.nFileIndexHigh, info.nFileIndexLow),
               joined(info.nFileSizeHigh, info.nFileSizeLow),
               joined(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime),
               joined(info.ftCreationTime.dwHighDateTime, info.ftCreationTime.dwLowDateTime),
               true};
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Opened for its attributes only, a file can be identified whatever its sharing allows.
HANDLE open_attributes(const path_char* path) {
    return CreateFileW(path, FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool separator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Whether path names a device or a pipe, not a file on a disk: \\.\pipe\name, \\.\COM1, or a
// device's own name such as COM1 or NUL, in any folder, which Windows turns into \\.\COM1.
// \\.\C:\..., \\?\C:\... and \\?\UNC\... are paths of files.
bool device_path(const path_char* path) {
    wchar_t full[64];
    DWORD const n = GetFullPathNameW(path, 64, full, nullptr);
    const wchar_t* const name = n > 0 && n < 64 ? full : path;
    if (!separator(name[0]) || !separator(name[1]) || (name[2] != L'.' && name[2] != L'?') ||
        !separator(name[3]))
        return false;
    const wchar_t* const rest = name + 4;
    bool const drive = rest[0] != L'\0' && rest[1] == L':' && rest[2] != L'\0';
    bool const unc = (rest[0] | 0x20) == L'u' && (rest[1] | 0x20) == L'n' &&
                     (rest[2] | 0x20) == L'c' && separator(rest[3]);
    return !drive && !unc;
}

}  // namespace

std::FILE* open_for_reading(const path_char* path) { return _wfopen(path, L"rb"); }

std::FILE* open_for_writing(const path_char* path, bool absent, bool read_back, open_file& file) {
    bool const readable = read_back && (absent || file.regular);
    DWORD access = readable ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE;
    auto open = [path, &access](DWORD disposition) {
        return CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE handle = absent ? open(CREATE_NEW) : INVALID_HANDLE_VALUE;
    file.created = handle != INVALID_HANDLE_VALUE;
    if (!absent || (!file.created && GetLastError() == ERROR_FILE_EXISTS)) {
        handle = open(OPEN_EXISTING);
        DWORD const error = GetLastError();
        // A file that may be written but not read, or that another program holds open for
        // writing and lets others write but not read.
        if (handle == INVALID_HANDLE_VALUE && readable &&
            (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)) {
            access = GENERIC_WRITE;
            handle = open(OPEN_EXISTING);
        }
    }
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    file.readable = (access & GENERIC_READ) != 0;
    int const fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
    if (fd == -1) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* const stream = _fdopen(fd, file.readable ? "r+b" : "wb");
    if (stream == nullptr) (void)_close(fd);
    return stream;
}

bool identify(open_file& file) { return describe(handle_of(file.stream), file); }

bool look(const path_char* path, open_file& file, bool& absent) {
    if (device_path(path)) return true;  // known once open
    // A file's identity takes a handle, if only one for its attributes.
    HANDLE const handle = open_attributes(path);
    if (handle == INVALID_HANDLE_VALUE) {
        absent = GetLastError() == ERROR_FILE_NOT_FOUND;
        return absent;
    }
    bool const known = describe(handle, file);
    CloseHandle(handle);
    return known;
}

int descriptor_named(const path_char*) { return -1; }

std::FILE* stream_on_copy(int fd) {
    int const copy = _dup(fd);
    if (copy == -1) return nullptr;
    (void)_setmode(copy, _O_BINARY);
    std::FILE* const stream = _fdopen(copy, "wb");
    if (stream == nullptr) (void)_close(copy);
    return stream;
}

bool interrupted() { return false; }  // no signals interrupt a read or a write

bool truncate_output(const open_file& file) {
    if (!file.regular || file.shared) return true;
    HANDLE const handle = handle_of(file.stream);
    // SetEndOfFile ends the file where the handle stands.
    LARGE_INTEGER const start{};
    return SetFilePointerEx(handle, start, nullptr, FILE_BEGIN) != 0 && SetEndOfFile(handle) != 0;
}

bool flush_to_file(std::FILE* stream) { return FlushFileBuffers(handle_of(stream)) != 0; }

void drop_cached(std::FILE*) {}

bool names_file(const path_char* path, const open_file& file) {
    if (!file.regular) return false;
    HANDLE const handle = open_attributes(path);
    if (handle == INVALID_HANDLE_VALUE) return false;
    open_file named{};
    bool const found = describe(handle, named) && same_file(named, file);
    CloseHandle(handle);
    return found;
}

bool empty_file(const path_char* path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    return GetFileAttributesExW(path, GetFileExInfoStandard, &data) != 0 &&
           (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && data.nFileSizeHigh == 0 &&
           data.nFileSizeLow == 0;
}

void remove_file(const path_char* path) { (void)_wremove(path); }

// Windows ends a console program on Ctrl+C without running anything of the program's.
unsigned hold_signals() { return 0; }
void release_signals(unsigned) {}
void remove_on_signal(const path_char*, const open_file&) {}
void keep_on_signal(const open_file&) {}

void prepare_process() { (void)_setmode(_fileno(stdout), _O_BINARY); }

}  // namespace bytelace
