#include "platform.hpp"

#include <algorithm>
#include <cstring>

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
// Opens the file looked at, or creates one where nothing stood at path; read-write where it is
// a disk file and reading is allowed, so that it can be read back.
std::FILE* open_for_writing(const path_char* path, bool absent, open_file& file);
bool identify(open_file& file);  // false for a directory, or a file with no identity to be had
// Identifies what path names without opening it for writing; false when that cannot be known.
// absent: nothing stands at path.
bool look(const path_char* path, open_file& file, bool& absent);
// The descriptor a path names the way a shell reads it (/dev/fd/N, /proc/self/fd/N,
// /dev/stdout), if that descriptor is open; otherwise -1.
int descriptor_named(const path_char* path);
std::FILE* stream_on_copy(int fd);  // a stream of its own on a copy of an open descriptor
void remove_file(const path_char* path);
bool truncate_output(const open_file& file);
// Whether path names the file. On Windows only a disk file is looked up, since a second open
// of a pipe's path would take a connection of its own.
bool names_file(const path_char* path, const open_file& file);
bool empty_file(const path_char* path);
// Drops what the system caches of a file's bytes, so that they are read from the file itself.
void drop_cached(std::FILE* stream);
// The signals that end a run remove an output created but not yet written, while it is so.
void remove_on_signal(const path_char* path, const open_file& file);
void keep_on_signal(const open_file& file);

// Identifies a file just opened, and gives up a directory or a file that cannot be
// identified. Streams are unbuffered: the programs read and write whole blocks, which a
// buffer would only copy once more.
open_file identified(const path_char* path, open_file file) {
    if (file.stream != nullptr && !identify(file)) {
        discard_output(path, file);
        file.stream = nullptr;
    }
    if (file.stream != nullptr) (void)std::setvbuf(file.stream, nullptr, _IONBF, 0);
    return file;
}

bool is_input(const open_file& file, std::initializer_list<const open_file*> inputs) {
    return std::any_of(inputs.begin(), inputs.end(),
                       [&file](const open_file* input) { return same_file(file, *input); });
}

// An output written through a copy of a descriptor the process was given, where it stands and
// with its flags; never emptied, nor read back.
open_file through(int fd, std::initializer_list<const open_file*> inputs) {
    open_file file{stream_on_copy(fd), false, false, false, true, false, {}};
    file = identified(nullptr, file);
    if (file.stream != nullptr && is_input(file, inputs)) {
        (void)std::fclose(file.stream);
        file.stream = nullptr;
    }
    return file;
}

}  // namespace

open_file open_input(const path_char* path) {
    return identified(path, {open_for_reading(path), false, false, false, false, false, {}});
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

open_file open_output(const path_char* path, std::initializer_list<const open_file*> inputs) {
    int const given = descriptor_named(path);
    if (given != -1) return through(given, inputs);
    // Standard output before the output is opened: were it closed, the output could take its
    // place. Closed, or without an identity, it has nothing to compare.
    open_file out{stdout, false, false, false, true, false, {}};
    (void)identify(out);
    open_file file{};
    bool absent = false;
    // Known before it is opened: opening a FIFO already read, or a file standard output's
    // owner holds, for writing would wait or fail.
    if (!look(path, file, absent) || (!absent && is_input(file, inputs))) return {};
    if (!absent && same_file(file, out)) return through(fileno(stdout), inputs);

    file_id const seen = file.id;
    file.stream = open_for_writing(path, absent, file);
    file = identified(path, file);
    if (file.stream == nullptr) return {};
    // The path may have changed between the look and the open.
    bool const moved = !absent && (seen.known != file.id.known || seen.volume != file.id.volume ||
                                   seen.index != file.id.index);
    if (moved || is_input(file, inputs)) {
        discard_output(path, file);
        return {};
    }
    if (same_file(file, out)) {
        (void)std::fclose(file.stream);  // nothing was written through it
        return through(fileno(stdout), inputs);
    }
    if (file.created) remove_on_signal(path, file);
    return file;
}

void discard_output(const path_char* path, const open_file& file) {
    keep_on_signal(file);
    // A file this run created but could not identify is removed only while it is empty.
    bool const ours = file.created && (file.id.known ? names_file(path, file) : empty_file(path));
    (void)std::fclose(file.stream);  // nothing was written
    if (ours) remove_file(path);
}

bool write_output(const open_file& file, const unsigned char* bytes, std::size_t n) {
    keep_on_signal(file);
    bool failed = !truncate_output(file);
    if (!failed) (void)std::fwrite(bytes, 1, n, file.stream);
    failed = std::ferror(file.stream) != 0 || failed;
    return std::fflush(file.stream) == 0 && !failed;
}

bool holds(const open_file& file, const unsigned char* bytes, std::size_t n) {
    if (!file.readable) return true;
    drop_cached(file.stream);
    if (std::fseek(file.stream, 0, SEEK_SET) != 0) return false;
    unsigned char chunk[4096];
    std::size_t at = 0;
    for (std::size_t got = 0; (got = std::fread(chunk, 1, sizeof chunk, file.stream)) != 0;) {
        if (got > n - at || std::memcmp(chunk, bytes + at, got) != 0) return false;
        at += got;
    }
    return std::ferror(file.stream) == 0 && at == n;
}

bool close_output(const open_file& file) { return std::fclose(file.stream) == 0; }

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

std::FILE* open_for_writing(const path_char* path, bool absent, open_file& file) {
    bool const disk = absent || file.regular;
    DWORD access = disk ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE;
    auto open = [path, &access](DWORD disposition) {
        return CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE handle = absent ? open(CREATE_NEW) : INVALID_HANDLE_VALUE;
    file.created = handle != INVALID_HANDLE_VALUE;
    if (!absent || (!file.created && GetLastError() == ERROR_FILE_EXISTS)) {
        handle = open(OPEN_EXISTING);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED && disk) {
            access = GENERIC_WRITE;  // a file that may be written but not read
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

// Reads the kind and identity of an open handle; false for a directory, or a disk file
// whose identity cannot be had.
bool describe(HANDLE handle, open_file& file) {
    DWORD const type = GetFileType(handle);
    file.regular = type == FILE_TYPE_DISK;
    file.device = type == FILE_TYPE_CHAR;
    if (!file.regular) return type != FILE_TYPE_UNKNOWN;  // a pipe or device has none
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(handle, &info) == 0) return false;
    file.id = {info.dwVolumeSerialNumber,
               (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
               true};
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool identify(open_file& file) { return describe(handle_of(file.stream), file); }

// Opened for its attributes only, a file can be identified whatever its sharing allows.
HANDLE open_attributes(const path_char* path) {
    return CreateFileW(path, FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool look(const path_char* path, open_file& file, bool& absent) {
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

void remove_file(const path_char* path) { (void)_wremove(path); }

bool truncate_output(const open_file& file) {
    if (!file.regular || file.shared) return true;
    HANDLE const handle = handle_of(file.stream);
    // SetEndOfFile ends the file where the handle stands.
    LARGE_INTEGER const start{};
    return SetFilePointerEx(handle, start, nullptr, FILE_BEGIN) != 0 && SetEndOfFile(handle) != 0;
}

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

void drop_cached(std::FILE*) {}

// Windows ends a console program on Ctrl+C without running anything of the program's.
void remove_on_signal(const path_char*, const open_file&) {}
void keep_on_signal(const open_file&) {}

}  // namespace

void prepare_process() { (void)_setmode(_fileno(stdout), _O_BINARY); }

#else

namespace {

std::FILE* open_for_reading(const path_char* path) { return std::fopen(path, "rb"); }

std::FILE* open_for_writing(const path_char* path, bool absent, open_file& file) {
    bool const disk = absent || file.regular;
    // A FIFO or device is opened write-only: read-write, a FIFO would not wait for its reader.
    int access = disk ? O_RDWR : O_WRONLY;
    int fd = absent ? open(path, access | O_CREAT | O_EXCL, 0666) : -1;
    file.created = fd != -1;
    // Without O_CREAT: a dangling symbolic link is refused, not followed to create its target,
    // and a file removed since it was looked at is not created again.
    if (!absent || (!file.created && errno == EEXIST)) {
        fd = open(path, access);
        if (fd == -1 && errno == EACCES && disk) {
            access = O_WRONLY;  // a file that may be written but not read
            fd = open(path, access);
        }
    }
    if (fd == -1) return nullptr;
    file.readable = access == O_RDWR;
    std::FILE* const stream = fdopen(fd, file.readable ? "r+b" : "wb");
    if (stream == nullptr) (void)close(fd);
    return stream;
}

void describe(const struct stat& st, open_file& file) {
    file.regular = S_ISREG(st.st_mode);
    file.device = S_ISCHR(st.st_mode);
    file.id = {st.st_dev, st.st_ino, true};
}

bool identify(open_file& file) {
    struct stat st = {};
    if (fstat(fileno(file.stream), &st) != 0) return false;
    describe(st, file);
    return !S_ISDIR(st.st_mode);
}

bool look(const path_char* path, open_file& file, bool& absent) {
    struct stat st = {};
    if (stat(path, &st) != 0) {
        absent = errno == ENOENT;
        return absent;
    }
    describe(st, file);
    return !S_ISDIR(st.st_mode);
}

int descriptor_named(const path_char* path) {
    int fd = -1;
    if (std::strcmp(path, "/dev/stdout") == 0) fd = 1;
    if (std::strcmp(path, "/dev/stderr") == 0) fd = 2;
    for (const char* folder : {"/dev/fd/", "/proc/self/fd/"}) {
        std::size_t const n = std::strlen(folder);
        if (std::strncmp(path, folder, n) != 0 || path[n] == '\0') continue;
        fd = 0;
        for (const char* digit = path + n; *digit != '\0' && fd != -1; ++digit) {
            bool const number = *digit >= '0' && *digit <= '9' && fd < 100000;
            fd = number ? 10 * fd + (*digit - '0') : -1;
        }
    }
    return fd != -1 && fcntl(fd, F_GETFD) != -1 ? fd : -1;
}

std::FILE* stream_on_copy(int fd) {
    int const copy = dup(fd);
    if (copy == -1) return nullptr;
    std::FILE* const stream = fdopen(copy, "wb");
    if (stream == nullptr) (void)close(copy);
    return stream;
}

void remove_file(const path_char* path) { (void)std::remove(path); }

bool truncate_output(const open_file& file) {
    return !file.regular || file.shared || ftruncate(fileno(file.stream), 0) == 0;
}

bool names_file(const path_char* path, const open_file& file) {
    struct stat st = {};
    return file.id.known && stat(path, &st) == 0 && file.id.volume == st.st_dev &&
           file.id.index == st.st_ino;
}

bool empty_file(const path_char* path) {
    struct stat st = {};
    return stat(path, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
}

void drop_cached(std::FILE* stream) {
    // A FUSE file system would otherwise give back the pages just written, whatever it holds.
    (void)posix_fadvise(fileno(stream), 0, 0, POSIX_FADV_DONTNEED);
}

// The outputs created and not yet written, for the handler of the signals that end a run. A
// handler is given nothing but the signal, so this is the one state the programs keep beside
// their arguments: at most two outputs, Byteunlace's lanes.
struct unwritten {
    const char* volatile path;
    dev_t volume;
    ino_t index;
};
unwritten pending[2];

extern "C" void end_by_signal(int signal) {
    for (const unwritten& output : pending) {
        struct stat st = {};
        if (output.path != nullptr && stat(output.path, &st) == 0 && st.st_dev == output.volume &&
            st.st_ino == output.index)
            (void)unlink(output.path);
    }
    (void)std::signal(signal, SIG_DFL);
    (void)std::raise(signal);
}

void remove_on_signal(const path_char* path, const open_file& file) {
    for (unwritten& output : pending) {
        if (output.path != nullptr) continue;
        output.volume = static_cast<dev_t>(file.id.volume);
        output.index = static_cast<ino_t>(file.id.index);
        output.path = path;
        return;
    }
}

void keep_on_signal(const open_file& file) {
    for (unwritten& output : pending) {
        if (output.volume == file.id.volume && output.index == file.id.index) output.path = nullptr;
    }
}

}  // namespace

void prepare_process() {
    (void)std::signal(SIGPIPE, SIG_IGN);
    (void)std::signal(SIGXFSZ, SIG_IGN);
    for (int const signal : {SIGHUP, SIGINT, SIGTERM}) {
        struct sigaction was = {};
        // One ignored when the program started (nohup) stays ignored.
        if (sigaction(signal, nullptr, &was) == 0 && was.sa_handler != SIG_IGN)
            (void)std::signal(signal, end_by_signal);
    }
}

#endif

}  // namespace bytelace
