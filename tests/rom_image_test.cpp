// The merge on temporary files and pipes, against the layout stated word by word.

#include "rom_image.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <random>
#include <thread>
#include <vector>

namespace {

using bytes = std::vector<unsigned char>;
using bytelace::image_length;

// Word k of the image comes from lane offset (k + 6144) mod 8192; past a lane's end, 0xFF.
bytes expected_image(const bytes& low, const bytes& high) {
    bytes image;
    for (std::size_t k = 0; k < 8192; ++k) {
        std::size_t const i = (k + 6144) % 8192;
        image.push_back(i < low.size() ? low[i] : 0xFF);
        image.push_back(i < high.size() ? high[i] : 0xFF);
    }
    return image;
}

std::FILE* regular_lane(const bytes& content) {
    std::FILE* f = std::tmpfile();
    if (!content.empty()) {
        EXPECT_EQ(std::fwrite(content.data(), 1, content.size(), f), content.size());
    }
    std::rewind(f);
    return f;
}

// A lane that cannot be repositioned: the read end of a pipe, fed by a thread.
std::FILE* piped_lane(const bytes& content, std::vector<std::thread>& writers) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    writers.emplace_back([fd = fds[1], content] {
        std::size_t done = 0;
        while (done < content.size()) {
            ssize_t const n = write(fd, content.data() + done, content.size() - done);
            if (n <= 0) break;  // the merge stopped reading
            done += static_cast<std::size_t>(n);
        }
        close(fd);
    });
    return fdopen(fds[0], "rb");
}

bytes merge(const bytes& low, const bytes& high, bool piped) {
    std::vector<std::thread> writers;
    std::FILE* low_lane = piped ? piped_lane(low, writers) : regular_lane(low);
    std::FILE* high_lane = piped ? piped_lane(high, writers) : regular_lane(high);
    std::FILE* image = std::tmpfile();
    EXPECT_EQ(bytelace::merge_lanes({low_lane, !piped}, {high_lane, !piped}, image),
              bytelace::merged);
    EXPECT_FALSE(std::ferror(low_lane) || std::ferror(high_lane) || std::ferror(image));
    std::fclose(low_lane);
    std::fclose(high_lane);
    for (auto& w : writers) w.join();

    bytes out(image_length + 1);
    std::rewind(image);
    out.resize(std::fread(out.data(), 1, out.size(), image));
    std::fclose(image);
    return out;
}

bytes random_lane(std::size_t n, std::mt19937& rng) {
    bytes lane(n);
    for (auto& b : lane) b = static_cast<unsigned char>(rng());
    return lane;
}

class Merge : public testing::TestWithParam<bool> {
protected:
    void SetUp() override { std::signal(SIGPIPE, SIG_IGN); }
};

// Random lane pairs, each length chosen independently from 0 to 20000, half of them at or
// next to a boundary of the layout.
TEST_P(Merge, MatchesTheLayoutForAnyLaneLengths) {
    std::mt19937 rng(1);
    const std::size_t boundaries[] = {0,    1,    2047, 2048, 2049, 6143,
                                      6144, 6145, 8191, 8192, 8193, 20000};
    std::uniform_int_distribution<std::size_t> any(0, 20000);
    std::uniform_int_distribution<std::size_t> boundary(0, std::size(boundaries) - 1);
    auto length = [&] { return rng() % 2 != 0 ? any(rng) : boundaries[boundary(rng)]; };
    for (int run = 0; run < 300; ++run) {
        bytes const low = random_lane(length(), rng);
        bytes const high = random_lane(length(), rng);
        ASSERT_EQ(merge(low, high, GetParam()), expected_image(low, high))
            << "lane lengths " << low.size() << ", " << high.size();
    }
}

INSTANTIATE_TEST_SUITE_P(Lanes, Merge, testing::Values(false, true), [](const auto& param_info) {
    return param_info.param ? "Piped" : "Regular";
});

}  // namespace
