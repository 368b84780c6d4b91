// The read-ahead queue on real movies: the order of the frames it queues (direction,
// step, loop, in/out points), their content against direct decodes, starting and
// stopping its job, and several frames in flight giving what one at a time gives.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "movie/file_to_play.h"
#include "movie/frame_compressed_buffer.h"
#include "media/mov_file.h"
#include "media/video_frame.h"
#include "tests/support/expect_error.h"
#include "tests/support/test_movies.h"

namespace {

using testsupport::Bytes;

QString movie_path(const std::string& name) {
    return QString::fromStdString(testsupport::fixture_path(name + ".mov"));
}

Bytes plane_bytes(const VideoFrame* frame) { return Bytes(frame->planes[0], frame->planes[0] + frame->sizes[0]); }

// Plane 0 of every frame of a movie, decoded by a movie object of its own.
const std::vector<Bytes>& reference_planes() {
    static const std::vector<Bytes> planes = [] {
        std::vector<Bytes> result;
        FileToPlay movie(movie_path("mov_hap100"));
        VideoFrame frame;
        dxt_frame_alloc(&frame, movie.width(), movie.height(), movie.hapTextureFormat());
        for (uint32_t i = 0; i < movie.frameCount(); ++i) {
            if (!movie.readFrame(i, &frame)) throw std::runtime_error("reference decode failed");
            result.push_back(plane_bytes(&frame));
        }
        video_frame_free_planes(&frame);
        return result;
    }();
    return planes;
}

// The frame after `current` when looping over [first, last], by modular arithmetic.
uint32_t looped_next(int64_t current, int64_t step, int64_t first, int64_t last) {
    const int64_t length = last - first + 1;
    return uint32_t(first + (((current - first + step) % length) + length) % length);
}

class FrameQueue : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(movie.errorText(), QString());
        ASSERT_EQ(movie.frameCount(), 100u);
        ASSERT_EQ(reference_planes().size(), 100u);
        ASSERT_TRUE(queue.setFile(&movie));
    }
    void TearDown() override { queue.stopCacheThread(); }

    // Stops, sets the step, prefills from `current` and starts, as the player does.
    void play(int32_t step, uint32_t current) {
        queue.stopCacheThread();
        queue.setPlayStep(step);
        ASSERT_TRUE(queue.prefill(current));
        ASSERT_TRUE(queue.startCacheThread());
    }

    // Takes `count` frames one by one, as the refresh ticks do, checking each against
    // the direct decode; returns their numbers.
    std::vector<uint32_t> take(size_t count) {
        std::vector<uint32_t> numbers;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (numbers.size() < count) {
            EXPECT_LE(queue.cachedCount(), queue.slotCount());
            VideoFrame* frame = nullptr;
            const int32_t slot = queue.takeNextFrame(&frame);
            if (slot < 0) {
                if (std::chrono::steady_clock::now() > deadline) {
                    ADD_FAILURE() << "queue stayed empty";
                    break;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                continue;
            }
            EXPECT_EQ(frame, queue.slotFrame(uint32_t(slot)));
            EXPECT_EQ(frame->status, 0u);
            EXPECT_LT(frame->frame_number, 100u);
            if (frame->frame_number < 100) {
                EXPECT_TRUE(plane_bytes(frame) == reference_planes()[frame->frame_number])
                    << "frame " << frame->frame_number;
            }
            numbers.push_back(frame->frame_number);
            queue.releaseFrame(slot);
        }
        return numbers;
    }

    FileToPlay movie{movie_path("mov_hap100")};
    FrameCompressedBuffer queue{nullptr, 25, 10};
};


// A copy of a movie read from a device throttled to a rate, for this process only: a
// loop device over the copy (cleared when its last user closes it) in a block I/O
// cgroup of its own, reached through a link named like a movie. `skipped` says why not
// where the machine cannot (not root, no block I/O controller, no loop devices).
class ThrottledMovie {
public:
    ThrottledMovie(const std::string& movie, uint64_t bytes_per_second) {
        if (::geteuid() != 0) {
            skipped = "needs root for a loop device and a block I/O cgroup";
            return;
        }
        char dir_template[] = "/tmp/throttled_movie_XXXXXX";
        if (!::mkdtemp(dir_template)) {
            skipped = "no temporary folder";
            return;
        }
        m_dir = dir_template;
        if (!copyPadded(movie, m_dir + "/backing.mov") || !attachLoop(m_dir + "/backing.mov") ||
            !throttle(bytes_per_second))
            return;
        path = m_dir + "/slow.mov";
        if (::symlink(m_loopPath.c_str(), path.c_str()) != 0) skipped = "no link to the loop device";
        // Nothing of the device in the page cache: every frame comes from it.
        ::posix_fadvise(m_loopFd, 0, 0, POSIX_FADV_DONTNEED);
    }
    ~ThrottledMovie() {
        if (!m_back.empty()) write_file(m_back, std::to_string(::getpid()));
        if (!m_cgroup.empty()) ::rmdir(m_cgroup.c_str());
        if (m_loopFd >= 0) ::close(m_loopFd);
        if (!m_dir.empty()) std::filesystem::remove_all(m_dir);
    }
    ThrottledMovie(const ThrottledMovie&) = delete;
    ThrottledMovie& operator=(const ThrottledMovie&) = delete;

    std::string path;
    std::string skipped;

private:
    static bool write_file(const std::string& file, const std::string& text) {
        std::ofstream out(file);
        out << text << std::flush;
        return bool(out);
    }
    static std::string read_file(const std::string& file) {
        std::ifstream in(file);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // The loop device's size is whole sectors: a "free" atom pads the copy to them.
    bool copyPadded(const std::string& from, const std::string& to) {
        std::ifstream in(from, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        uint32_t pad = uint32_t((512 - bytes.size() % 512) % 512);
        if (pad != 0 && pad < 8) pad += 512;
        if (pad != 0) {
            const char head[8] = {char(pad >> 24), char(pad >> 16), char(pad >> 8), char(pad), 'f', 'r', 'e', 'e'};
            bytes.append(head, 8);
            bytes.append(pad - 8, '\0');
        }
        std::ofstream out(to, std::ios::binary);
        out.write(bytes.data(), std::streamsize(bytes.size()));
        if (bytes.empty() || !out.flush()) skipped = "cannot copy " + from;
        return skipped.empty();
    }

    bool attachLoop(const std::string& backing) {
        const int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
        const int file = ::open(backing.c_str(), O_RDONLY | O_CLOEXEC);
        for (int attempt = 0; control >= 0 && file >= 0 && attempt < 10 && m_loopFd < 0; ++attempt) {
            const int number = ::ioctl(control, LOOP_CTL_GET_FREE);
            if (number < 0) break;
            const std::string device = "/dev/loop" + std::to_string(number);
            const int fd = ::open(device.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) break;
            loop_config config{};
            config.fd = uint32_t(file);
            config.info.lo_flags = LO_FLAGS_READ_ONLY | LO_FLAGS_AUTOCLEAR;
            if (::ioctl(fd, LOOP_CONFIGURE, &config) == 0) {
                m_loopFd = fd;
                m_loopPath = device;
            } else {
                ::close(fd);  // taken meanwhile by someone else: the next free one
            }
        }
        if (file >= 0) ::close(file);
        if (control >= 0) ::close(control);
        if (m_loopFd < 0) skipped = "no loop device";
        return m_loopFd >= 0;
    }

    // Moves this process into a cgroup of its own that throttles the loop device's reads.
    bool throttle(uint64_t bytes_per_second) {
        struct stat device {};
        if (::fstat(m_loopFd, &device) != 0) return false;
        const std::string numbers = std::to_string(major(device.st_rdev)) + ":" + std::to_string(minor(device.st_rdev));
        const std::string name = "/throttled_movie_" + std::to_string(::getpid());
        const std::string own = read_file("/proc/self/cgroup");
        std::smatch found;
        std::string root;
        std::string rule_file;
        std::string rule;
        if (std::filesystem::exists("/sys/fs/cgroup/blkio/blkio.throttle.read_bps_device") &&
            std::regex_search(own, found, std::regex(":blkio:([^\n]*)"))) {
            root = "/sys/fs/cgroup/blkio";
            rule_file = "blkio.throttle.read_bps_device";
            rule = numbers + " " + std::to_string(bytes_per_second);
        } else if (read_file("/sys/fs/cgroup/cgroup.controllers").find("io") != std::string::npos &&
                   std::regex_search(own, found, std::regex("0::([^\n]*)"))) {
            root = "/sys/fs/cgroup";
            if (read_file(root + "/cgroup.subtree_control").find("io") == std::string::npos)
                write_file(root + "/cgroup.subtree_control", "+io");
            rule_file = "io.max";
            rule = numbers + " rbps=" + std::to_string(bytes_per_second);
        } else {
            skipped = "no block I/O cgroup controller";
            return false;
        }
        const std::string back = root + found[1].str() + "/cgroup.procs";
        m_cgroup = root + name;
        if (::mkdir(m_cgroup.c_str(), 0755) != 0 || !write_file(m_cgroup + "/" + rule_file, rule) ||
            !write_file(m_cgroup + "/cgroup.procs", std::to_string(::getpid()))) {
            skipped = "cannot throttle in " + m_cgroup;
            return false;
        }
        m_back = back;
        return true;
    }

    std::string m_dir;
    std::string m_loopPath;
    int m_loopFd = -1;
    std::string m_cgroup;
    std::string m_back;
};

}  // namespace

TEST_F(FrameQueue, NextFrameIndexFollowsDirectionStepLoopAndRange) {
    queue.setPlayStep(1);
    EXPECT_EQ(queue.nextFrameIndex(98), 99u);
    EXPECT_EQ(queue.nextFrameIndex(99), 99u);  // sticks at the end
    queue.setLoopMode(1);
    EXPECT_EQ(queue.nextFrameIndex(99), 0u);
    EXPECT_EQ(queue.nextFrameIndex(0), 1u);

    queue.setPlayStep(-3);
    queue.setInPoint(10);
    queue.setOutPoint(19);
    uint32_t frame = 11;
    std::vector<uint32_t> seen;
    for (int i = 0; i < 5; ++i) seen.push_back(frame = queue.nextFrameIndex(frame));
    EXPECT_EQ(seen, (std::vector<uint32_t>{18, 15, 12, 19, 16}));

    queue.setPlayStep(16);  // over 10 frames: 6
    EXPECT_EQ(queue.nextFrameIndex(10), 16u);
    EXPECT_EQ(queue.nextFrameIndex(15), 11u);
    queue.setPlayStep(20);  // a whole number of ranges
    EXPECT_EQ(queue.nextFrameIndex(19), 19u);
    queue.setPlayStep(1);
    EXPECT_EQ(queue.nextFrameIndex(50), 10u);  // outside the range: clamped to 19, then wrapped

    queue.setLoopMode(0);
    queue.setPlayStep(-5);
    EXPECT_EQ(queue.nextFrameIndex(12), 10u);
    queue.setPlayStep(7);
    EXPECT_EQ(queue.nextFrameIndex(15), 19u);

    queue.setInPoint(42);
    queue.setOutPoint(42);
    for (uint32_t current : {0u, 42u, 99u}) EXPECT_EQ(queue.nextFrameIndex(current), 42u);

    // An out point past the end plays to the last frame.
    queue.resetInPoint();
    queue.setOutPoint(500);
    queue.setPlayStep(1);
    EXPECT_EQ(queue.nextFrameIndex(99), 99u);
    queue.setLoopMode(1);
    EXPECT_EQ(queue.nextFrameIndex(99), 0u);
    queue.resetOutPoint();

    // The setters keep in before out.
    queue.setOutPoint(40);
    queue.setInPoint(50);
    EXPECT_EQ(queue.inPoint(), 50);
    EXPECT_EQ(queue.outPoint(), -1);
    queue.setOutPoint(40);
    EXPECT_EQ(queue.inPoint(), -1);
    EXPECT_EQ(queue.outPoint(), 40);

    EXPECT_RUNTIME_ERROR(FrameCompressedBuffer(nullptr, 0, 10), "Invalid nb frames");
    FrameCompressedBuffer small(nullptr, 4, 10);
    EXPECT_EQ(small.prefillCount(), 4u);
    VideoFrame* frame_out = nullptr;
    EXPECT_EQ(small.takeNextFrame(&frame_out), -1);
    EXPECT_FALSE(small.prefill(0));  // no movie
    EXPECT_FALSE(small.startCacheThread());
    EXPECT_FALSE(small.readPauseFrame(0));
}

TEST_F(FrameQueue, PrefillDecodesTheFramesAfterTheStart) {
    queue.setPlayStep(1);
    ASSERT_TRUE(queue.prefill(10));
    EXPECT_EQ(queue.cachedCount(), 10u);
    EXPECT_EQ(queue.headSlot(), 0u);
    EXPECT_EQ(queue.lastQueuedFrame(), 20u);
    for (uint32_t slot = 0; slot < 10; ++slot) {
        const VideoFrame* frame = queue.slotFrame(slot);
        EXPECT_EQ(frame->frame_number, 11 + slot);
        EXPECT_EQ(frame->status, 0u);
        EXPECT_TRUE(plane_bytes(frame) == reference_planes()[11 + slot]);
    }

    // A second prefill empties the queue first, wherever its head was.
    VideoFrame* frame = nullptr;
    for (int i = 0; i < 3; ++i) queue.releaseFrame(queue.takeNextFrame(&frame));
    EXPECT_EQ(queue.headSlot(), 3u);
    queue.setPlayStep(-4);
    ASSERT_TRUE(queue.prefill(30));
    EXPECT_EQ(queue.headSlot(), 0u);
    EXPECT_EQ(queue.lastQueuedFrame(), 0u);
    EXPECT_EQ(queue.takeNextFrame(&frame), 0);
    EXPECT_EQ(frame->frame_number, 26u);
    queue.releaseFrame(0);

    for (uint32_t index : {0u, 57u, 99u}) {
        ASSERT_TRUE(queue.readPauseFrame(index));
        queue.lockPauseFrame();
        EXPECT_EQ(queue.pauseFrame()->frame_number, index);
        EXPECT_TRUE(plane_bytes(queue.pauseFrame()) == reference_planes()[index]);
        queue.unlockPauseFrame();
    }
}

TEST_F(FrameQueue, PlaysForwardsToTheEndOrAround) {
    play(1, 90);
    std::vector<uint32_t> expected = {91, 92, 93, 94, 95, 96, 97, 98, 99};
    expected.resize(40, 99);
    EXPECT_EQ(take(40), expected);

    queue.setLoopMode(1);
    play(1, 95);
    expected.clear();
    for (uint32_t i = 0; i < 60; ++i) expected.push_back((96 + i) % 100);
    EXPECT_EQ(take(60), expected);
}

TEST_F(FrameQueue, PlaysBackwardsAndAtEveryStepWithinInAndOut) {
    queue.setLoopMode(1);
    play(-2, 50);
    std::vector<uint32_t> expected;
    for (int64_t frame = 50, i = 0; i < 40; ++i) expected.push_back(uint32_t(frame = looped_next(frame, -2, 0, 99)));
    EXPECT_EQ(expected[24], 0u);
    EXPECT_EQ(expected[25], 98u);
    EXPECT_EQ(take(40), expected);

    queue.setInPoint(20);
    queue.setOutPoint(69);
    for (int32_t magnitude = 1; magnitude <= 16; ++magnitude) {
        for (int32_t step : {magnitude, -magnitude}) {
            SCOPED_TRACE(step);
            play(step, 30);
            expected.clear();
            for (int64_t frame = 30, i = 0; i < 45; ++i) expected.push_back(frame = looped_next(frame, step, 20, 69));
            EXPECT_EQ(take(45), expected);
        }
    }

    // Without loop the range's ends hold.
    queue.setLoopMode(0);
    play(7, 50);
    EXPECT_EQ(take(6), (std::vector<uint32_t>{57, 64, 69, 69, 69, 69}));
    play(-16, 50);
    EXPECT_EQ(take(5), (std::vector<uint32_t>{34, 20, 20, 20, 20}));
}

// A playback clock that left ticks out (the window's thread was held): each tick takes
// the frame of its play position, the frames queued before it are left out unseen, and
// a tick past all the read-ahead holds gets nothing (the picture holds: nothing older
// than the tick is shown) and moves the read-ahead on to the positions after its own.
// The frames are those the read-ahead gives one after another, at every step, both
// ways, with loop and range; a play once that a skip takes past its end gets the end
// (where the window stops). Ticks without their frame are the read-ahead catching up
// while no more of the last ticks held than the queue has slots.
TEST_F(FrameQueue, ATickThatLeftFramesOutTakesTheFrameOfItsPlayPosition) {
    struct Case {
        const char* name;
        int32_t step;
        uint32_t loop;
        int32_t in;
        int32_t out;
        uint32_t start;
    };
    const Case cases[] = {
        {"forward, once", 1, 0, -1, -1, 3},        {"reverse, once", -1, 0, -1, -1, 96},
        {"2x, loop in/out", 2, 1, 10, 29, 12},     {"-4x, loop in/out", -4, 1, 10, 29, 27},
        {"16x, loop", 16, 1, -1, -1, 90},          {"-16x, once in/out", -16, 0, 20, 80, 75},
        {"4x, once to the out point", 4, 0, -1, 60, 10}, {"-1x, loop over one frame", -1, 1, 42, 42, 42},
    };
    const auto deadline = [] { return std::chrono::steady_clock::now() + std::chrono::seconds(20); };
    const auto waitFull = [&] {
        const auto until = deadline();
        while (queue.cachedCount() < queue.slotCount() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(queue.cachedCount(), queue.slotCount());
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        queue.stopCacheThread();
        queue.setLoopMode(c.loop);
        queue.resetInPoint();
        queue.resetOutPoint();
        if (c.in >= 0) queue.setInPoint(c.in);
        if (c.out >= 0) queue.setOutPoint(c.out);
        queue.setPlayStep(c.step);
        // The frame of each play position, as the read-ahead makes them one by one.
        std::vector<uint32_t> expected{c.start};
        while (expected.size() <= 200) expected.push_back(queue.nextFrameIndex(expected.back()));
        // The same in one step, however far (a loop comes back to the same frames).
        const uint64_t far = c.loop ? 1000000000000ull * uint64_t(c.out >= 0 ? c.out - c.in + 1 : 100) : 1000000000000ull;
        for (uint64_t position = 1; position < expected.size(); ++position) {
            ASSERT_EQ(queue.frameAfter(c.start, position), expected[position]) << "position " << position;
            ASSERT_EQ(queue.frameAfter(c.start, position + far), c.loop ? expected[position] : expected.back())
                << "position " << position << " + " << far;
        }

        play(c.step, c.start);
        EXPECT_EQ(queue.frameAtPosition(0), c.start);
        EXPECT_EQ(queue.frameAtPosition(150), expected[150]);
        // Ticks 1 and 2 in time, then ticks that left 4 and 11 out, then one past all the
        // queue holds (positions 21 to 45), then ticks in time.
        uint64_t leftOut = 0;
        uint64_t last = 0;
        VideoFrame* frame = nullptr;
        for (const uint64_t position : {1, 2, 7, 8, 20, 120, 121, 122, 123, 130}) {
            SCOPED_TRACE("position " + std::to_string(position));
            ASSERT_NO_FATAL_FAILURE(waitFull());
            leftOut += position - last;
            last = position;
            const int32_t slot = queue.takeFrameAt(position, &frame);
            if (position == 120) {
                // Not the newest frame it holds: the picture holds, and the read-ahead
                // moves on.
                EXPECT_LT(slot, 0) << "frame " << frame->frame_number << " shown for " << expected[position];
                if (slot >= 0) queue.releaseFrame(slot);
                EXPECT_TRUE(queue.isCatchingUp());
                continue;
            }
            ASSERT_GE(slot, 0);
            leftOut -= 1;
            EXPECT_EQ(frame->frame_number, expected[position]);
            EXPECT_EQ(frame->status, 0u);
            EXPECT_TRUE(plane_bytes(frame) == reference_planes()[frame->frame_number]);
            queue.releaseFrame(slot);
            EXPECT_TRUE(queue.isCatchingUp());
        }
        EXPECT_EQ(queue.leftOutCount(), leftOut);

        // Two ticks each past all the read-ahead holds, then one that gets its own
        // frame, over and over: catching up while no more than a queue's worth of the
        // last ticks held, whatever frame now and then comes in time.
        uint64_t position = 1000;
        uint32_t held = 1;  // the tick of position 120 (this play has had fewer ticks than 50)
        for (uint32_t i = 0; held <= queue.slotCount(); ++i) {
            SCOPED_TRACE("tick " + std::to_string(i));
            ASSERT_NO_FATAL_FAILURE(waitFull());
            if (i % 3 == 2) {
                position += 1;
                const uint32_t due = queue.frameAtPosition(position);
                const int32_t slot = queue.takeFrameAt(position, &frame);
                ASSERT_GE(slot, 0);
                EXPECT_EQ(frame->frame_number, due);
                queue.releaseFrame(slot);
            } else {
                position += 1000;
                const int32_t slot = queue.takeFrameAt(position, &frame);
                EXPECT_LT(slot, 0);
                if (slot >= 0) queue.releaseFrame(slot);
                held += 1;
            }
            EXPECT_EQ(queue.isCatchingUp(), held <= queue.slotCount());
        }
        // A new play starts afresh; a stopped read-ahead catches nothing up.
        play(c.step, c.start);
        EXPECT_TRUE(queue.isCatchingUp());
        queue.stopCacheThread();
        EXPECT_FALSE(queue.isCatchingUp());
    }
}

// A tick whose frame the read-ahead claimed but has not read yet (the storage slow)
// gets nothing, not the frames queued before it: those are left out, and the picture
// holds. The claims of ticks that have passed are not read at all once their turn
// comes; the frames after them are, and the next tick gets its own.
TEST_F(FrameQueue, ATickWhoseFrameIsNotReadYetGetsNoOlderFrame) {
    queue.setFramesInFlight(8);
    play(1, 0);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (queue.cachedCount() < queue.slotCount() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(queue.cachedCount(), queue.slotCount());
    // From now on a frame takes about two seconds to read: the frames after position
    // 25 are claimed, one for each frame in flight, and only the first is being read.
    MovFile* file = nullptr;
    movie.movFile(&file);
    movie.setReadPaceForTests(file->frameTable[26].size / 2);
    VideoFrame* frame = nullptr;
    int32_t slot = queue.takeFrameAt(20, &frame);
    ASSERT_GE(slot, 0);
    EXPECT_EQ(frame->frame_number, 20u);
    queue.releaseFrame(slot);
    const auto claimed = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    while (queue.pendingCount() < 8 && std::chrono::steady_clock::now() < claimed)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(queue.pendingCount(), 8u);
    slot = queue.takeFrameAt(30, &frame);
    EXPECT_LT(slot, 0) << "frame " << frame->frame_number << " shown at the tick of frame 30";
    if (slot >= 0) queue.releaseFrame(slot);
    EXPECT_TRUE(queue.isCatchingUp());
    movie.setReadPaceForTests(0);
    while (queue.cachedCount() < queue.slotCount() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(queue.cachedCount(), queue.slotCount());
    // What the queue holds now, in order: perhaps frame 26 (its read may have begun
    // before the tick of 30), then 27 to 30 unread or never claimed, then 31 onwards.
    std::vector<uint32_t> readFrames;
    const uint32_t head = queue.headSlot();
    for (uint32_t i = 0; i < queue.cachedCount(); ++i) {
        const int32_t slot = int32_t((head + i) % queue.slotCount());
        queue.lockSlot(slot);
        const VideoFrame* held = queue.slotFrame(uint32_t(slot));
        if (held->status == 0) {
            EXPECT_TRUE(plane_bytes(held) == reference_planes()[held->frame_number]);
            readFrames.push_back(held->frame_number);
        } else {
            EXPECT_GE(held->frame_number, 26u);
            EXPECT_LE(held->frame_number, 30u);
        }
        queue.unlockSlot(slot);
    }
    ASSERT_FALSE(readFrames.empty());
    for (const uint32_t read : readFrames)
        EXPECT_TRUE(read == 26 || read > 30) << "frame " << read << " read after its tick had passed";
    slot = queue.takeFrameAt(31, &frame);
    ASSERT_GE(slot, 0);
    EXPECT_EQ(frame->frame_number, 31u);
    EXPECT_EQ(frame->status, 0u);
    queue.releaseFrame(slot);
}

TEST_F(FrameQueue, StopsAndRestartsCleanly) {
    queue.stopCacheThread();  // nothing running: nothing happens
    play(1, 0);
    EXPECT_TRUE(queue.isCacheThreadRunning());
    EXPECT_EQ(take(5), (std::vector<uint32_t>{1, 2, 3, 4, 5}));
    // Let the job fill the queue and idle, then stop it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (queue.cachedCount() < 25 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(queue.cachedCount(), 25u);
    const auto before = std::chrono::steady_clock::now();
    queue.stopCacheThread();
    // The idle job looks for work every 10 ms: the stop must not wait for anything
    // longer. Loose, for a loaded machine; a job that ignored the stop would hang here.
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_FALSE(queue.isCacheThreadRunning());
    queue.stopCacheThread();

    // The stopped queue still hands out what it holds, in order.
    EXPECT_EQ(take(3), (std::vector<uint32_t>{6, 7, 8}));

    // Restarting while running replaces the job; a fresh prefill starts elsewhere.
    play(1, 60);
    ASSERT_TRUE(queue.startCacheThread());
    EXPECT_EQ(take(30), [] {
        std::vector<uint32_t> v;
        for (uint32_t i = 61; i <= 90; ++i) v.push_back(i);
        return v;
    }());

    // A queue destroyed while its job runs stops the job first.
    auto other = std::make_unique<FrameCompressedBuffer>(nullptr, 25, 10);
    ASSERT_TRUE(other->setFile(&movie));
    other->setPlayStep(1);
    ASSERT_TRUE(other->prefill(0));
    ASSERT_TRUE(other->startCacheThread());
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    other.reset();
}

TEST_F(FrameQueue, ReleasingAnotherSlotDropsNoFrame) {
    queue.setPlayStep(1);
    ASSERT_TRUE(queue.prefill(0));
    VideoFrame* frame = nullptr;
    const int32_t slot = queue.takeNextFrame(&frame);
    ASSERT_EQ(slot, 0);
    queue.releaseFrame(5);  // not the head: logged, nothing advances
    EXPECT_EQ(queue.cachedCount(), 10u);
    queue.releaseFrame(25);  // out of range
    queue.releaseFrame(slot);
    EXPECT_EQ(queue.cachedCount(), 9u);
    EXPECT_EQ(queue.headSlot(), 1u);

    queue.lockSlot(-1);
    queue.lockSlot(25);
    queue.unlockSlot(25);
    queue.lockSlot(3);
    queue.unlockSlot(3);

    // Draining everything leaves an empty queue that says so.
    for (int i = 0; i < 9; ++i) queue.releaseFrame(queue.takeNextFrame(&frame));
    EXPECT_EQ(queue.cachedCount(), 0u);
    EXPECT_EQ(queue.takeNextFrame(&frame), -1);
}

// In and out points move while the job runs: it must never see them crossed, die,
// or keep queuing frames outside the final range.
TEST_F(FrameQueue, InOutChangesWhilePlayingNeverStopTheJob) {
    queue.setLoopMode(1);
    play(1, 0);
    std::atomic<bool> done{false};
    std::thread toggler([&] {
        for (int i = 0; i < 5000 && !done; ++i) {
            queue.setInPoint(50);
            queue.setOutPoint(40);
            queue.setInPoint(10);
            queue.setOutPoint(60);
            queue.resetInPoint();
        }
    });
    take(200);
    done = true;
    toggler.join();
    queue.setInPoint(20);
    queue.setOutPoint(29);
    take(30);  // frames queued before the change
    for (uint32_t frame : take(40)) {
        EXPECT_GE(frame, 20u);
        EXPECT_LE(frame, 29u);
    }
    EXPECT_TRUE(queue.isCacheThreadRunning());
}

TEST_F(FrameQueue, SetFileResizesTheSlotsAndReportsFailure) {
    FileToPlay large(movie_path("hap_q_1920x1080_c7"));
    ASSERT_EQ(large.errorText(), QString());
    ASSERT_TRUE(queue.setFile(&large));
    EXPECT_EQ(queue.frameCount(), large.frameCount());
    EXPECT_EQ(queue.playStep(), 0);
    for (uint32_t slot = 0; slot < queue.slotCount(); ++slot) {
        EXPECT_EQ(queue.slotFrame(slot)->width, 1920u);
        EXPECT_EQ(queue.slotFrame(slot)->data_format, uint32_t(VideoDataFormat_HapY));
        EXPECT_EQ(queue.slotFrame(slot)->sizes[0], 2073600u);
    }
    EXPECT_EQ(queue.pauseFrame()->height, 1080u);
    queue.setPlayStep(1);
    ASSERT_TRUE(queue.prefill(0));
    VideoFrame* frame = nullptr;
    ASSERT_EQ(queue.takeNextFrame(&frame), 0);
    EXPECT_EQ(frame->frame_number, 1u);
    EXPECT_EQ(frame->status, 0u);
    queue.releaseFrame(0);

    // Binding resets the range and the step.
    queue.setInPoint(2);
    queue.setOutPoint(80);
    ASSERT_TRUE(queue.setFile(&movie));
    EXPECT_EQ(queue.inPoint(), -1);
    EXPECT_EQ(queue.outPoint(), -1);
    EXPECT_EQ(queue.slotFrame(0)->width, 64u);

    // Slots that cannot be made are reported, not hidden.
    FileToPlay dnxhd(movie_path("mov_dnxhd"));
    EXPECT_FALSE(queue.setFile(&dnxhd));
    FileToPlay huge(movie_path("mov_hap_none"));
    MovFile* record = nullptr;
    huge.movFile(&record);
    record->width = 131072;
    record->height = 131072;
    EXPECT_FALSE(queue.setFile(&huge));
}

namespace {

// Every plane of a texture frame, in order.
Bytes all_planes(const VideoFrame* frame) {
    Bytes bytes;
    for (int plane = 0; plane < 4 && frame->planes[plane]; ++plane)
        bytes.insert(bytes.end(), frame->planes[plane], frame->planes[plane] + frame->sizes[plane]);
    return bytes;
}

// Frames decoded one by one by a movie object of their own, kept by number.
class DirectDecodes {
public:
    explicit DirectDecodes(const std::string& name) : m_movie(movie_path(name)) {
        dxt_frame_alloc(&m_frame, m_movie.width(), m_movie.height(), m_movie.hapTextureFormat());
    }
    ~DirectDecodes() { video_frame_free_planes(&m_frame); }
    const Bytes& planes(uint32_t number) {
        auto found = m_decoded.find(number);
        if (found != m_decoded.end()) return found->second;
        EXPECT_TRUE(m_movie.readFrame(number, &m_frame)) << number;
        return m_decoded[number] = all_planes(&m_frame);
    }

private:
    FileToPlay m_movie;
    VideoFrame m_frame{};
    std::map<uint32_t, Bytes> m_decoded;
};

// A queue on its own movie, driven as the player drives it, recording the number of
// every frame it hands out and checking each against the direct decode.
class PlayedQueue {
public:
    PlayedQueue(const std::string& name, uint32_t frames_in_flight, DirectDecodes* reference)
        : movie(movie_path(name)), m_reference(reference) {
        EXPECT_EQ(movie.errorText(), QString());
        queue.setFramesInFlight(frames_in_flight);
        EXPECT_TRUE(queue.setFile(&movie));
        EXPECT_EQ(queue.framesInFlight(), frames_in_flight);
    }
    ~PlayedQueue() { queue.stopCacheThread(); }

    void play(int32_t step, uint32_t current) {
        queue.stopCacheThread();
        queue.setPlayStep(step);
        ASSERT_TRUE(queue.prefill(current));
        ASSERT_TRUE(queue.startCacheThread());
    }
    // Takes one frame when one is queued.
    bool takeOne() {
        VideoFrame* frame = nullptr;
        const int32_t slot = queue.takeNextFrame(&frame);
        if (slot < 0) return false;
        EXPECT_EQ(frame->status, 0u) << frame->frame_number;
        if (frame->frame_number < movie.frameCount()) {
            EXPECT_TRUE(all_planes(frame) == m_reference->planes(frame->frame_number))
                << "frame " << frame->frame_number;
        }
        taken.push_back(frame->frame_number);
        queue.releaseFrame(slot);
        return true;
    }
    void take(size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (size_t got = 0; got < count;) {
            if (takeOne()) {
                ++got;
            } else if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "queue stayed empty";
                return;
            } else {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        }
    }
    // Plays until a worker is seen with a frame in flight; false if none ever was.
    bool playUntilFramesInFlight() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (queue.pendingCount() == 0) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            if (!takeOne()) std::this_thread::yield();
        }
        return true;
    }

    FileToPlay movie;
    FrameCompressedBuffer queue{nullptr, 25, 10};
    std::vector<uint32_t> taken;

private:
    DirectDecodes* m_reference;
};

// One session of a user: play, seek in the middle, reverse to the start and past it,
// speed x4 round the loop, in and out points looped both ways, a pause that leaves
// frames queued and a resume from them.
void play_session(PlayedQueue& played) {
    const uint32_t frames = played.movie.frameCount();
    played.play(1, 0);
    played.take(30);
    played.play(1, frames / 2 + 3);  // a seek while playing
    played.take(20);
    played.play(-1, played.taken.back());
    played.take(frames / 2 + 40);  // sticks at frame 0
    played.queue.setLoopMode(1);
    played.play(4, 7);
    played.take(60);
    played.queue.setInPoint(int32_t(frames / 5));
    played.queue.setOutPoint(int32_t(frames / 5 + 17));
    played.play(-4, played.taken.back());
    played.take(40);
    played.play(1, frames / 5 + 15);
    played.take(50);
    // A pause: what the stopped queue holds comes out in order, then the workers go on
    // after it.
    played.queue.stopCacheThread();
    const uint32_t held = played.queue.cachedCount();
    played.take(held);
    ASSERT_TRUE(played.queue.startCacheThread());
    played.take(30 - held);
}

}  // namespace

// Several frames decoded at once come out as the one-at-a-time queue gives them: the
// same frames, byte for byte, in the same order, on single-chunk and chunked movies.
TEST(FrameQueueInFlight, GivesTheFramesOfThePlainScheduleInTheSameOrder) {
    for (const char* name : {"mov_hap100", "bench_hapq_100"}) {
        SCOPED_TRACE(name);
        DirectDecodes reference(name);
        PlayedQueue plain(name, 1, &reference);
        play_session(plain);
        ASSERT_EQ(plain.taken.size(), 270u + plain.movie.frameCount() / 2);
        for (uint32_t in_flight : {2u, 5u, 8u}) {
            SCOPED_TRACE(in_flight);
            PlayedQueue parallel(name, in_flight, &reference);
            play_session(parallel);
            EXPECT_EQ(parallel.taken, plain.taken);
        }
    }
}

// Stopping with frames in flight leaves a whole queue: no slot half-queued, no frame
// skipped or repeated, and a restart carries on after the last queued frame. A queue
// destroyed with frames in flight waits for them.
TEST(FrameQueueInFlight, StopsAndIsDestroyedWithFramesInFlight) {
    DirectDecodes reference("window_long");
    PlayedQueue played("window_long", 4, &reference);
    played.queue.setLoopMode(1);
    played.play(1, 0);
    int seen_in_flight = 0;
    for (int round = 0; round < 20; ++round) {
        played.take(1);
        seen_in_flight += played.playUntilFramesInFlight() ? 1 : 0;
        played.queue.stopCacheThread();
        EXPECT_EQ(played.queue.pendingCount(), 0u);
        ASSERT_FALSE(played.taken.empty());
        const uint32_t held = played.queue.cachedCount();
        if (held > 0) {
            const uint32_t last = (played.taken.back() + held) % played.movie.frameCount();
            EXPECT_EQ(played.queue.lastQueuedFrame(), last);
        }
        played.take(held / 2);  // the paused queue still hands out what it holds
        ASSERT_TRUE(played.queue.startCacheThread());
        played.take(3);
    }
    EXPECT_GT(seen_in_flight, 0);
    for (size_t i = 1; i < played.taken.size(); ++i)
        ASSERT_EQ(played.taken[i], (played.taken[i - 1] + 1) % played.movie.frameCount()) << i;

    for (int round = 0; round < 5; ++round) {
        auto other = std::make_unique<PlayedQueue>("window_long", 4, &reference);
        other->play(1, 100);
        other->playUntilFramesInFlight();
        // A frame still on loan at the end is given back by the destructor too.
        VideoFrame* frame = nullptr;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (round % 2 == 0 && other->queue.takeNextFrame(&frame) < 0) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "queue stayed empty";
            std::this_thread::yield();
        }
        other.reset();
    }
}

// Small frames played from a device just fast enough for them (1.4 times what the play
// needs, throttled in a block I/O cgroup): every tick gets its own frame or none (a
// busy machine may hold the device a moment), and the read-ahead is never found too
// slow for the play. The kernel's own read-ahead, left to itself, grows its window to
// megabytes there, and the frame the clock needs waits for a whole window at the
// device's pace, seconds at a time.
TEST(FrameQueueOnSlowStorage, SmallFramesFromADeviceJustFastEnoughComeInTime) {
    const std::string source = testsupport::fixture_path("queue_small_frames.mov");
    double fps = 0;
    double frame_bytes = 0;
    {
        FileToPlay direct(QString::fromStdString(source));
        ASSERT_EQ(direct.errorText(), QString());
        MovFile* file = nullptr;
        direct.movFile(&file);
        ASSERT_GT(file->frameCount, 250u);
        for (uint32_t i = 0; i < file->frameCount; ++i) frame_bytes += file->frameTable[i].size;
        frame_bytes /= file->frameCount;
        fps = direct.fps();
    }
    ThrottledMovie slow(source, uint64_t(1.4 * fps * frame_bytes));
    if (!slow.skipped.empty()) GTEST_SKIP() << slow.skipped;

    FileToPlay movie(QString::fromStdString(slow.path));
    ASSERT_EQ(movie.errorText(), QString());
    FrameCompressedBuffer queue(nullptr, 25, 10);
    ASSERT_TRUE(queue.setFile(&movie));
    queue.setPlayStep(1);
    ASSERT_TRUE(queue.prefill(0));
    ASSERT_TRUE(queue.startCacheThread());
    // The playback clock: tick k due k periods after the start, a late one standing for
    // the tick due when it comes.
    using namespace std::chrono;
    const auto start = steady_clock::now();
    const duration<double> period(1.0 / fps);
    uint64_t tick = 0;
    int held = 0;
    bool too_slow = false;
    while (steady_clock::now() - start < seconds(4) && !too_slow) {
        tick += 1;
        std::this_thread::sleep_until(start + duration_cast<steady_clock::duration>(tick * period));
        tick = std::max<uint64_t>(tick, uint64_t((steady_clock::now() - start) / period));
        VideoFrame* frame = nullptr;
        const int32_t slot = queue.takeFrameAt(tick, &frame);
        if (slot >= 0) {
            EXPECT_EQ(frame->frame_number, tick);
            EXPECT_EQ(frame->status, 0u);
            queue.releaseFrame(slot);
        } else {
            held += 1;
            too_slow = !queue.isCatchingUp();
        }
    }
    queue.stopCacheThread();
    EXPECT_FALSE(too_slow) << "found too slow at tick " << tick << ", " << held << " ticks held";
}
