#include "platform.hpp"

#include <algorithm>
#include <cstring>

#include "host.hpp"

namespace bytelace {

namespace {

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

bool same_id(const file_id& a, const file_id& b) {
    return a.known == b.known && a.volume == b.volume && a.index == b.index;
}

open_file opened_output(const path_char* path, std::initializer_list<const open_file*> inputs,
                        bool read_back) {
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
    file.stream = open_for_writing(path, absent, read_back, file);
    file = identified(path, file);
    if (file.stream == nullptr) return {};
    // The path may have changed between the look and the open. A character device is
    // compared by its identity too: same_file never matches one.
    if ((!absent && !same_id(seen, file.id)) || is_input(file, inputs)) {
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

}  // namespace

open_file open_input(const path_char* path) {
    return identified(path, {open_for_reading(path), false, false, false, false, false, {}});
}

std::size_t read_bytes(std::FILE* stream, unsigned char* bytes, std::size_t n) {
    std::size_t got = 0;
    for (;;) {
        got += std::fread(bytes + got, 1, n - got, stream);
        if (got == n || std::ferror(stream) == 0 || !interrupted()) return got;
        std::clearerr(stream);
    }
}

std::size_t write_bytes(std::FILE* stream, const unsigned char* bytes, std::size_t n) {
    std::size_t put = 0;
    for (;;) {
        put += std::fwrite(bytes + put, 1, n - put, stream);
        if (put == n || std::ferror(stream) == 0 || !interrupted()) return put;
        std::clearerr(stream);
    }
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

open_file open_output(const path_char* path, std::initializer_list<const open_file*> inputs,
                      bool read_back) {
    // Held from the creation of an output to its registration for removal: a signal between
    // the two would leave it behind.
    unsigned const held = hold_signals();
    open_file const file = opened_output(path, inputs, read_back);
    release_signals(held);
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
    if (!failed) (void)write_bytes(file.stream, bytes, n);
    failed = std::ferror(file.stream) != 0 || failed;
    return std::fflush(file.stream) == 0 && !failed;
}

bool settle_output(const open_file& file) {
    return !file.regular || file.shared || flush_to_file(file.stream);
}

bool holds(const open_file& file, const unsigned char* bytes, std::size_t n) {
    if (!file.readable) return true;
    drop_cached(file.stream);
    if (std::fseek(file.stream, 0, SEEK_SET) != 0) return false;
    unsigned char chunk[4096];
    std::size_t at = 0;
    for (std::size_t got = 0; (got = read_bytes(file.stream, chunk, sizeof chunk)) != 0;) {
        if (got > n - at || std::memcmp(chunk, bytes + at, got) != 0) return false;
        at += got;
    }
    return std::ferror(file.stream) == 0 && at == n;
}

bool close_output(const open_file& file) { return std::fclose(file.stream) == 0; }

bool same_file(const open_file& a, const open_file& b) {
    if (!a.id.known || !b.id.known || a.device || b.device || a.id.index != b.id.index)
        return false;
    return a.id.volume == b.id.volume ||
           (a.id.size == b.id.size && a.id.modified == b.id.modified &&
            a.id.changed == b.id.changed);
}

}  // namespace bytelace
