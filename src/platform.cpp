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
bool truncate_output(const open_file& file);
// Whether path names the file. On Windows only a disk file is looked up, since a second open
// of a pipe's path would take a connection of its own.
bool names_file(const path_char* path, const open_file& file);

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
    return identified(path, {open_for_reading(path), false, false, false, {}});
}

lane_files open_lanes(const path_char* low, const path_char* high) {
    lane_files lanes{open_input(low), {}};
    if (lanes.low.stream == nullptr) return lanes;
    // A FIFO is not opened a second time: that open would wait for a writer, which may be gone.
    bool const once = !lanes.low.regular && names_file(high, lanes.low);
    lanes.high = once ? lanes.low : open_input(high);
    if (lanes.high.stream == nullptr) (void)std::fclose(lanes.low.stream);
    return lanes;
}

void close_lanes(const lane_files& lanes) {
    if (lanes.high.stream != lanes.low.stream) (void)std::fclose(lanes.high.stream);
    (void)std::fclose(lanes.low.stream);
}

open_file open_output(const path_char* path) {
    // Standard output first: were it closed, the output could take its place.
    open_file out{stdout, false, false, false, {}};
    (void)identify(out);
    open_file file{};
    file.stream = open_for_writing(path, file.created);
    file = identified(path, file);
    if (file.stream != nullptr && same_file(file, out)) {
        (void)std::fclose(file.stream);  // nothing was written through it
        file.stream = stdout;
    }
    return file;
}

void discard_output(const path_char* path, const open_file& file) {
    if (file.stream == stdout) return;
    bool const ours = file.created && names_file(path, file);
    (void)std::fclose(file.stream);  // nothing was written
    if (ours) remove_file(path);
}

bool write_output(const open_file& file, const unsigned char* bytes, std::size_t n) {
    bool failed = !truncate_output(file);
    if (!failed) (void)std::fwrite(bytes, 1, n, file.stream);
    failed = std::ferror(file.stream) != 0 || failed;
    failed = std::fflush(file.stream) != 0 || failed;
    if (file.stream == stdout) return !failed;
    return std::fclose(file.stream) == 0 && !failed;
}

bool same_file(const open_file& a, const open_file& b) {
    return a.id.known && b.id.known && !a.device && !b.device && a.id.volume == b.id.volume &&
           a.id.index == b.id.index;
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

// Reads the identity of an open handle; false for a directory.
bool identify_handle(HANDLE handle, file_id& id) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(handle, &info) == 0) return true;  // a pipe or device
    id = {info.dwVolumeSerialNumber,
          (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow, true};
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool identify(open_file& file) {
    HANDLE const handle = handle_of(file.stream);
    DWORD const type = GetFileType(handle);
    file.regular = type == FILE_TYPE_DISK;
    file.device = type == FILE_TYPE_CHAR;
    return identify_handle(handle, file.id);
}

void remove_file(const path_char* path) { (void)_wremove(path); }

bool truncate_output(const open_file& file) {
    if (!file.regular || file.stream == stdout) return true;
    HANDLE const handle = handle_of(file.stream);
    // SetEndOfFile ends the file where the handle stands.
    LARGE_INTEGER const start{};
    return SetFilePointerEx(handle, start, nullptr, FILE_BEGIN) != 0 && SetEndOfFile(handle) != 0;
}

bool names_file(const path_char* path, const open_file& file) {
    if (!file.regular) return false;
    HANDLE const handle = CreateFileW(path, FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    open_file named{};
    bool const found = identify_handle(handle, named.id) && same_file(named, file);
    CloseHandle(handle);
    return found;
}

}  // namespace

void prepare_process() { (void)_setmode(_fileno(stdout), _O_BINARY); }

#else

namespace {

std::FILE* open_for_reading(const path_char* path) { return std::fopen(path, "rb"); }

std::FILE* open_for_writing(const path_char* path, bool& created) {
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL, 0666);
    created = fd != -1;
    // Without O_CREAT: a dangling symbolic link is refused, not followed to create its target,
    // and a file removed since the first open is not created again.
    if (!created && errno == EEXIST) fd = open(path, O_WRONLY);
    if (fd == -1) return nullptr;
    std::FILE* const stream = fdopen(fd, "wb");
    if (stream == nullptr) (void)close(fd);
    return stream;
}

bool identify(open_file& file) {
    struct stat st {};
    if (fstat(fileno(file.stream), &st) != 0) return true;
    file.regular = S_ISREG(st.st_mode);
    file.device = S_ISCHR(st.st_mode);
    file.id = {st.st_dev, st.st_ino, true};
    return !S_ISDIR(st.st_mode);
}

void remove_file(const path_char* path) { (void)std::remove(path); }

bool truncate_output(const open_file& file) {
    return !file.regular || file.stream == stdout || ftruncate(fileno(file.stream), 0) == 0;
}

bool names_file(const path_char* path, const open_file& file) {
    struct stat st {};
    return file.id.known && stat(path, &st) == 0 && file.id.volume == st.st_dev &&
           file.id.index == st.st_ino;
}

}  // namespace

void prepare_process() {
    (void)std::signal(SIGPIPE, SIG_IGN);
    (void)std::signal(SIGXFSZ, SIG_IGN);
}

#endif

}  // namespace bytelace
