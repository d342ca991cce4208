// The host for Linux and other POSIX systems.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>

#include "host.hpp"

namespace bytelace {

namespace {

constexpr int ending_signals[] = {SIGHUP, SIGINT, SIGTERM};

unsigned long long nanoseconds(const struct timespec& t) {
    return static_cast<unsigned long long>(t.tv_sec) * 1000000000U +
           static_cast<unsigned long long>(t.tv_nsec);
}

void describe(const struct stat& st, open_file& file) {
    file.regular = S_ISREG(st.st_mode);
    file.device = S_ISCHR(st.st_mode);
    file.id = {st.st_dev,
               st.st_ino,
               static_cast<unsigned long long>(st.st_size),
               nanoseconds(st.st_mtim),
               nanoseconds(st.st_ctim),
               true};
}

// The outputs created and not yet written, for the handler of the signals that end a run. A
// handler is given nothing but the signal, so this is the one state the programs keep beside
// their arguments: at most two outputs, Byteunlace's lanes. An entry is filled in while the
// signals are held, and its path set last, past a fence: the handler reads nothing half made.
struct unwritten {
    const char* volatile path;
    dev_t volume;
    ino_t index;
};
unwritten pending[2];

extern "C" void end_by_signal(int signal) {
    for (const unwritten& output : pending) {
        const char* const path = output.path;
        std::atomic_signal_fence(std::memory_order_acquire);
        struct stat st = {};
        if (path != nullptr && stat(path, &st) == 0 && st.st_dev == output.volume &&
            st.st_ino == output.index)
            (void)unlink(path);
    }
    (void)std::signal(signal, SIG_DFL);
    (void)std::raise(signal);
}

// Opens as open(2) does, again where a signal interrupted the wait for a FIFO's other end.
int opened(const char* path, int flags) {
    int fd = -1;
    do fd = open(path, flags, 0666);
    while (fd == -1 && errno == EINTR);
    return fd;
}

}  // namespace

std::FILE* open_for_reading(const path_char* path) {
    std::FILE* stream = nullptr;
    do stream = std::fopen(path, "rb");
    while (stream == nullptr && errno == EINTR);
    return stream;
}

std::FILE* open_for_writing(const path_char* path, bool absent, bool read_back, open_file& file) {
    // A FIFO or device is opened write-only: read-write, a FIFO would not wait for its reader.
    bool const readable = read_back && (absent || file.regular);
    int access = readable ? O_RDWR : O_WRONLY;
    int fd = absent ? opened(path, access | O_CREAT | O_EXCL) : -1;
    file.created = fd != -1;
    // Without O_CREAT: a dangling symbolic link is refused, not followed to create its target,
    // and a file removed since it was looked at is not created again.
    if (!absent || (!file.created && errno == EEXIST)) {
        fd = opened(path, access);
        if (fd == -1 && errno == EACCES && readable) {
            access = O_WRONLY;  // a file that may be written but not read
            fd = opened(path, access);
        }
    }
    if (fd == -1) return nullptr;
    file.readable = access == O_RDWR;
    std::FILE* const stream = fdopen(fd, file.readable ? "r+b" : "wb");
    if (stream == nullptr) (void)close(fd);
    return stream;
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

bool interrupted() { return errno == EINTR; }

bool truncate_output(const open_file& file) {
    return !file.regular || file.shared || ftruncate(fileno(file.stream), 0) == 0;
}

bool flush_to_file(std::FILE* stream) {
#ifdef __linux__
    // Writes the cached pages out to the file system, a FUSE one's daemon included, and waits
    // for them, without the flush of the disk's own cache that fdatasync adds: the bytes must
    // reach the file, not survive a power cut.
    unsigned const whole =
        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
    return sync_file_range(fileno(stream), 0, 0, whole) == 0;
#else
    return fsync(fileno(stream)) == 0;
#endif
}

void drop_cached(std::FILE* stream) {
    // A FUSE file system would otherwise give back the pages just written, whatever it holds.
    (void)posix_fadvise(fileno(stream), 0, 0, POSIX_FADV_DONTNEED);
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

void remove_file(const path_char* path) { (void)unlink(path); }

unsigned hold_signals() {
    sigset_t ending;
    sigset_t was;
    (void)sigemptyset(&ending);
    for (int const signal : ending_signals) (void)sigaddset(&ending, signal);
    if (sigprocmask(SIG_BLOCK, &ending, &was) != 0) return ~0U;
    unsigned held = 0;  // those held already, which stay so
    for (unsigned i = 0; i < std::size(ending_signals); ++i)
        if (sigismember(&was, ending_signals[i]) == 1) held |= 1U << i;
    return held;
}

void release_signals(unsigned held) {
    sigset_t released;
    (void)sigemptyset(&released);
    for (unsigned i = 0; i < std::size(ending_signals); ++i)
        if ((held & (1U << i)) == 0) (void)sigaddset(&released, ending_signals[i]);
    (void)sigprocmask(SIG_UNBLOCK, &released, nullptr);
}

void remove_on_signal(const path_char* path, const open_file& file) {
    unsigned const held = hold_signals();
    for (unwritten& output : pending) {
        if (output.path != nullptr) continue;
        output.volume = static_cast<dev_t>(file.id.volume);
        output.index = static_cast<ino_t>(file.id.index);
        std::atomic_signal_fence(std::memory_order_release);
        output.path = path;
        break;
    }
    release_signals(held);
}

void keep_on_signal(const open_file& file) {
    for (unwritten& output : pending) {
        if (output.volume == file.id.volume && output.index == file.id.index) output.path = nullptr;
    }
}

void prepare_process() {
    (void)std::signal(SIGPIPE, SIG_IGN);
    (void)std::signal(SIGXFSZ, SIG_IGN);
    struct sigaction ending = {};
    ending.sa_handler = end_by_signal;
    (void)sigemptyset(&ending.sa_mask);
    for (int const signal : ending_signals) (void)sigaddset(&ending.sa_mask, signal);
    ending.sa_flags = SA_RESTART;
    for (int const signal : ending_signals) {
        struct sigaction was = {};
        // One ignored when the program started (nohup) stays ignored.
        if (sigaction(signal, nullptr, &was) == 0 && was.sa_handler != SIG_IGN)
            (void)sigaction(signal, &ending, nullptr);
    }
}

}  // namespace bytelace
