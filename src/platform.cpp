#include "platform.hpp"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#endif

namespace bytelace {

namespace {

std::FILE* open_for_reading(const path_char* path);
std::FILE* open_for_writing(const path_char* path, bool& created);
bool identify(open_file& file);  // false for a directory
void remove_file(const path_char* path);

// Identifies a file just opened, and gives up a directory. Streams are unbuffered: the
// programs read and write whole blocks, which a buffer would only copy once more.
open_file identified(const path_char* path, open_file file) {
    if (file.stream != nullptr && !identify(file)) {
        discard_output(path, file);
        file.stream = nullptr;
    }
    if (file.stream != nullptr) (void)std::setvbuf(file.stream, nullptr, _IONBF, 0);
    return file;
}

}  // namespace

open_file open_input(const path_char* path) {
    return identified(path, {open_for_reading(path), false, false, {}});
}

open_file open_output(const path_char* path) {
    open_file file{};
    file.stream = open_for_writing(path, file.created);
    return identified(path, file);
}

void discard_output(const path_char* path, const open_file& file) {
    (void)std::fclose(file.stream);  // nothing was written
    if (file.created) remove_file(path);
}

bool close_output(std::FILE* stream) {
    bool failed = std::ferror(stream) != 0;
    failed = std::fflush(stream) != 0 || failed;
    return std::fclose(stream) == 0 && !failed;
}

bool same_file(const open_file& a, const open_file& b) {
    return a.id.known && b.id.known && a.id.volume == b.id.volume && a.id.index == b.id.index;
}

#ifdef _WIN32

namespace {

HANDLE handle_of(std::FILE* stream) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

std::FILE* open_for_reading(const path_char* path) { return _wfopen(path, L"rb"); }

std::FILE* open_for_writing(const path_char* path, bool& created) {
    auto open = [path](DWORD disposition) {
        return CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE handle = open(CREATE_NEW);
    created = handle != INVALID_HANDLE_VALUE;
    if (!created && GetLastError() == ERROR_FILE_EXISTS) handle = open(OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    int const fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
    if (fd == -1) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* const stream = _fdopen(fd, "wb");
    if (stream == nullptr) (void)_close(fd);
    return stream;
}

bool identify(open_file& file) {
    HANDLE const handle = handle_of(file.stream);
    file.regular = GetFileType(handle) == FILE_TYPE_DISK;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(handle, &info) == 0) return true;  // a pipe or device
    file.id = {info.dwVolumeSerialNumber,
               (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
               true};
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void remove_file(const path_char* path) { (void)_wremove(path); }

}  // namespace

void prepare_process() { (void)_setmode(_fileno(stdout), _O_BINARY); }

bool truncate_output(const open_file& file) {
    return !file.regular || SetEndOfFile(handle_of(file.stream)) != 0;
}

// A second open of a Windows pipe or device never waits for a writer that has gone: it gets
// a connection of its own or fails.
bool names_file(const path_char* /*path*/, const open_file& /*file*/) { return false; }

#else

namespace {

std::FILE* open_for_reading(const path_char* path) { return std::fopen(path, "rb"); }

std::FILE* open_for_writing(const path_char* path, bool& created) {
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL, 0666);
    created = fd != -1;
    // An existing file, or a dangling symbolic link, whose target is then created.
    if (!created && errno == EEXIST) fd = open(path, O_WRONLY | O_CREAT, 0666);
    if (fd == -1) return nullptr;
    std::FILE* const stream = fdopen(fd, "wb");
    if (stream == nullptr) (void)close(fd);
    return stream;
}

bool identify(open_file& file) {
    struct stat st {};
    if (fstat(fileno(file.stream), &st) != 0) return true;
    file.regular = S_ISREG(st.st_mode);
    file.id = {st.st_dev, st.st_ino, true};
    return !S_ISDIR(st.st_mode);
}

void remove_file(const path_char* path) { (void)std::remove(path); }

}  // namespace

void prepare_process() {
    (void)std::signal(SIGPIPE, SIG_IGN);
    (void)std::signal(SIGXFSZ, SIG_IGN);
}

bool truncate_output(const open_file& file) {
    return !file.regular || ftruncate(fileno(file.stream), 0) == 0;
}

bool names_file(const path_char* path, const open_file& file) {
    struct stat st {};
    return file.id.known && stat(path, &st) == 0 && file.id.volume == st.st_dev &&
           file.id.index == st.st_ino;
}

#endif

}  // namespace bytelace
