#include "platform.hpp"

#include <sys/stat.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace bytelace {

namespace {

// The stream's file type (S_IFREG, S_IFDIR, ...), or 0 when it cannot be had.
unsigned file_type(std::FILE* stream) {
#ifdef _WIN32
    struct _stat64 st {};
    if (_fstat64(_fileno(stream), &st) != 0) return 0;
#else
    struct stat st {};
    if (fstat(fileno(stream), &st) != 0) return 0;
#endif
    return static_cast<unsigned>(st.st_mode) & S_IFMT;
}

}  // namespace

std::FILE* open_lane(const path_char* path) {
#ifdef _WIN32
    std::FILE* lane = _wfopen(path, L"rb");
#else
    std::FILE* lane = std::fopen(path, "rb");
#endif
    if (lane != nullptr && file_type(lane) == S_IFDIR) {
        (void)std::fclose(lane);  // read-only and unread: nothing to lose
        return nullptr;
    }
    return lane;
}

std::FILE* create_image(const path_char* path) {
#ifdef _WIN32
    return _wfopen(path, L"wb");
#else
    return std::fopen(path, "wb");
#endif
}

bool is_regular_file(std::FILE* stream) { return file_type(stream) == S_IFREG; }

#ifdef _WIN32

namespace {

HANDLE handle_of(std::FILE* stream) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

bool same_file(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION x{};
    BY_HANDLE_FILE_INFORMATION y{};
    return GetFileInformationByHandle(a, &x) != 0 && GetFileInformationByHandle(b, &y) != 0 &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

}  // namespace

bool names_open_file(const path_char* path, std::FILE* stream) {
    // No access asked for, so this opens whatever exists, even a file that is open elsewhere.
    HANDLE named = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (named == INVALID_HANDLE_VALUE) return false;
    bool const same = same_file(named, handle_of(stream));
    CloseHandle(named);
    return same;
}

bool same_open_file(std::FILE* a, std::FILE* b) { return same_file(handle_of(a), handle_of(b)); }

void set_binary_stdout() { (void)_setmode(_fileno(stdout), _O_BINARY); }

#else

namespace {

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool names_open_file(const path_char* path, std::FILE* stream) {
    struct stat named {};
    struct stat open {};
    return stat(path, &named) == 0 && fstat(fileno(stream), &open) == 0 && same_file(named, open);
}

bool same_open_file(std::FILE* a, std::FILE* b) {
    struct stat x {};
    struct stat y {};
    return fstat(fileno(a), &x) == 0 && fstat(fileno(b), &y) == 0 && same_file(x, y);
}

void set_binary_stdout() {}

#endif

}  // namespace bytelace
