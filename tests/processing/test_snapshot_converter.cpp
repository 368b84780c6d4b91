// The snapshot converter: file names of every time mode, target folders, unique and
// never-overwritten files, failures that leave nothing behind, and whole snapshots of
// real movies read back.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csignal>
#include <vector>
#include <string>

#include "movie/file_to_play.h"
#include "media/video_frame.h"
#include "processing/snapshot_file.h"
#include "test_snapshot_support.h"
#include "tests/support/expect_error.h"
#include "tests/support/test_movies.h"

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

SnapshotPrefs custom_folder(const QString& folder, uint32_t format = 0, uint32_t time_mode = 1) {
    SnapshotPrefs p;
    p.dst_folder_mode = 2;
    p.custom_folder = folder;
    p.format = format;
    p.time_mode = time_mode;
    return p;
}

QStringList files_in(const QString& folder) { return QDir(folder).entryList(QDir::Files, QDir::Name); }

TEST(SnapshotNames, TimeTextsOfEachMode) {
    // Frames mode at 25 and 29.97 fps (1798 frames a minute, 30 a second).
    EXPECT_EQ(SnapshotConverter::timeNameFrames(1800, 25.0f), "00_01_12_00");
    EXPECT_EQ(SnapshotConverter::timeNameFrames(1800, 30000.0f / 1001.0f), "00_01_00_02");
    EXPECT_EQ(SnapshotConverter::timeNameFrames(125, 0.0f), "00_00_00_00");
    // Milliseconds.
    EXPECT_EQ(SnapshotConverter::timeNameMillis(125, 25, 1), "00_00_05_000");
    EXPECT_EQ(SnapshotConverter::timeNameMillis(989, 30000, 1001), "00_00_33_000");  // 32.9996 s
    EXPECT_EQ(SnapshotConverter::timeNameMillis(90000, 25, 1), "01_00_00_000");
    EXPECT_EQ(SnapshotConverter::timeNameMillis(3, 0, 1), "00_00_00_000");
    // Timecode, drop-frame from 0 and non-drop.
    EXPECT_EQ(SnapshotConverter::timeNameTimecode(1800, 30000, 1001, true), "00_01_00_02");
    EXPECT_EQ(SnapshotConverter::timeNameTimecode(17982, 30000, 1001, true), "00_10_00_00");
    EXPECT_EQ(SnapshotConverter::timeNameTimecode(1800, 30000, 1001, false), "00_01_00_00");
    EXPECT_EQ(SnapshotConverter::timeNameTimecode(25 * 86400 + 30, 25, 1, false), "00_00_01_05");
}

// The frames where a field could overflow: the first 20000 (every millisecond and
// minute pattern of the 1001 rates repeats within them), a window around every hour
// of the first ten, and a coarse walk to a million frames for the order.
std::vector<uint64_t> frames_to_check(float fps) {
    std::vector<uint64_t> frames;
    for (uint64_t f = 0; f <= 20000; ++f) frames.push_back(f);
    for (uint64_t h = 1; h <= 10; ++h) {
        const uint64_t hour = uint64_t(std::llround(double(fps) * 3600.0 * double(h)));
        for (uint64_t f = hour - 150; f <= hour + 150; ++f) frames.push_back(f);
    }
    for (uint64_t f = 0; f <= 1000000; f += 101) frames.push_back(f);
    std::sort(frames.begin(), frames.end());
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
    return frames;
}

struct Rate {
    uint32_t num, den, nominal;
    bool drop;
};
constexpr Rate kRates[] = {{24000, 1001, 24, false}, {30000, 1001, 30, true}, {60000, 1001, 60, true}};

// Hours, minutes, seconds, last field.
std::array<int, 4> fields(const QString& name) {
    const QStringList f = name.split('_');
    EXPECT_EQ(f.size(), 4) << name.toStdString();
    return {f.value(0).toInt(), f.value(1).toInt(), f.value(2).toInt(), f.value(3).toInt()};
}

TEST(SnapshotNames, FieldsStayInRangeAndSortInFrameOrder) {
    for (const Rate& r : kRates) {
        const float fps = float(r.num) / float(r.den);
        QString previous[3];
        for (uint64_t frame : frames_to_check(fps)) {
            const QString names[3] = {SnapshotConverter::timeNameMillis(frame, r.num, r.den),
                                      SnapshotConverter::timeNameFrames(frame, fps),
                                      SnapshotConverter::timeNameTimecode(frame, r.num, r.den, r.drop)};
            const int last_limit[3] = {1000, int(std::lround(fps)), int(r.nominal)};
            for (int m = 0; m < 3; ++m) {
                const std::array<int, 4> f = fields(names[m]);
                ASSERT_LT(f[1], 60) << names[m].toStdString() << " frame " << frame;
                ASSERT_LT(f[2], 60) << names[m].toStdString() << " frame " << frame;
                ASSERT_LT(f[3], last_limit[m]) << names[m].toStdString() << " frame " << frame;
                ASSERT_LE(previous[m], names[m]) << "frame " << frame;
                previous[m] = names[m];
            }
        }
    }
}

TEST(SnapshotNames, TimecodeWrapsAtTheDay) {
    for (const Rate& r : kRates) {
        // A day of drop-frame timecode is 144 blocks of ten minutes.
        const uint64_t day = r.drop ? 144 * uint64_t(std::llround(600.0 * r.num / r.den)) : 86400ull * r.nominal;
        for (uint64_t frame = day - 40; frame < day; ++frame) {
            const std::array<int, 4> f = fields(SnapshotConverter::timeNameTimecode(frame, r.num, r.den, r.drop));
            ASSERT_EQ(f[0], 23) << frame;
            ASSERT_EQ(f[1], 59) << frame;
        }
        EXPECT_EQ(SnapshotConverter::timeNameTimecode(day, r.num, r.den, r.drop), "00_00_00_00");
    }
}

TEST(SnapshotNames, UniquePathsSkipExistingFilesAndTheAvoidList) {
    QTemporaryDir dir;
    const QString base = dir.filePath("clip.v2_00_00_05_000");
    EXPECT_EQ(SnapshotConverter::makeUniqueFilePath(base, "jpg", {}), base + ".jpg");
    QFile(base + ".jpg").open(QIODevice::WriteOnly);
    QDir(dir.path()).mkdir("clip.v2_00_00_05_000_1.jpg");  // a folder takes the name too
    EXPECT_EQ(SnapshotConverter::makeUniqueFilePath(base, "jpg", {base + "_2.jpg"}), base + "_3.jpg");
    EXPECT_TRUE(SnapshotConverter::fileExists(base + ".jpg"));
    EXPECT_FALSE(SnapshotConverter::fileExists(base + "_1.jpg"));
}

TEST(SnapshotFile, NeverOverwritesAndLeavesNoPartialFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("shot.jpg");
    const uint8_t first[3] = {1, 2, 3};
    file_write_all(reinterpret_cast<const char16_t*>(path.utf16()), first, 3);
    const uint8_t second[2] = {9, 9};
    const std::string text = testsupport::runtime_error_text(
        [&] { file_write_all(reinterpret_cast<const char16_t*>(path.utf16()), second, 2); });
    EXPECT_EQ(text.rfind("Can't open target file (write) : " + path.toStdString() + ". Error : 17. ", 0), 0u) << text;
    EXPECT_EQ(testsupport::read_whole_file(path.toStdString()), (std::vector<uint8_t>{1, 2, 3}));

    // A write cut short (here by the file size limit) removes what it wrote.
    const QString cut = dir.filePath("cut.jpg");
    std::vector<uint8_t> big(8192, 7);
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string cut_text = testsupport::runtime_error_text(
        [&] { file_write_all(reinterpret_cast<const char16_t*>(cut.utf16()), big.data(), big.size()); });
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous_handler);
    EXPECT_EQ(cut_text, "Error file write");
    EXPECT_FALSE(QFileInfo::exists(cut));
}

class SnapshotConverterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        folder = dir.filePath("shots");
    }
    QTemporaryDir dir;
    QString folder;
    SnapshotView view;
};

TEST_F(SnapshotConverterTest, SuccessiveShotsGetNumberedNames) {
    FileToPlay movie(q(snaptest::fixture("snap_hap.mov")));
    const SnapshotMovie record = snaptest::movie_record(&movie);
    const SnapshotPrefs prefs = custom_folder(folder, 0, 3);
    QStringList paths;
    for (int i = 0; i < 3; ++i) {
        SnapshotConverter converter(nullptr, &prefs, &record, &view);
        ASSERT_EQ(converter.errorText(), "");
        converter.createSnapshot(2);
        ASSERT_EQ(converter.errorText(), "");
        paths << QFileInfo(converter.targetPath()).fileName();
        const snaptest::Image image = snaptest::decode_file(converter.targetPath().toStdString());
        EXPECT_EQ(image.width, 64u);
        EXPECT_EQ(image.height, 48u);
    }
    EXPECT_EQ(paths, (QStringList{"snap_hap_00_00_00_080.jpg", "snap_hap_00_00_00_080_1.jpg",
                                  "snap_hap_00_00_00_080_2.jpg"}));
    EXPECT_TRUE(QFileInfo(folder).isDir());  // the missing folder was made
}

TEST_F(SnapshotConverterTest, NamesForEachTimeModeAndRate) {
    struct Case {
        const char* movie;
        uint32_t time_mode;
        const char* name;
    };
    const Case cases[] = {
        {"snap_hap.mov", 1, "snap_hap_2.png"},
        {"snap_hap.mov", 2, "snap_hap_00_00_00_02.png"},
        {"snap_hap.mov", 4, "snap_hap_00_00_00_02.png"},
        {"snap_hap.mov", 9, "snap_hap_00_00_00_080.png"},  // any other mode: milliseconds
        {"snap_hap_1001.mov", 3, "snap_hap_1001_00_00_00_067.png"},
    };
    for (const Case& c : cases) {
        FileToPlay movie(q(snaptest::fixture(c.movie)));
        const SnapshotMovie record = snaptest::movie_record(&movie);
        const SnapshotPrefs prefs = custom_folder(dir.filePath(QString::number(c.time_mode) + c.movie), 1, c.time_mode);
        SnapshotConverter converter(nullptr, &prefs, &record, &view);
        converter.createSnapshot(2);
        ASSERT_EQ(converter.errorText(), "");
        EXPECT_EQ(QFileInfo(converter.targetPath()).fileName(), c.name);
    }
}

TEST_F(SnapshotConverterTest, Utf8FoldersAndMovieNames) {
    const QString sub = dir.filePath(QString::fromUtf8("é"));
    QDir().mkpath(sub);
    const QString moviePath = sub + QString::fromUtf8("/日本.mov");
    ASSERT_TRUE(QFile::copy(q(snaptest::fixture("snap_hapa.mov")), moviePath));
    FileToPlay movie(moviePath);
    ASSERT_EQ(movie.errorText(), "");
    const SnapshotMovie record = snaptest::movie_record(&movie);
    SnapshotPrefs prefs = custom_folder(sub + QString::fromUtf8("/日本"), 1);
    prefs.dst_folder_mode = 1;  // the movie's folder
    SnapshotConverter converter(nullptr, &prefs, &record, &view);
    converter.createSnapshot(0);
    ASSERT_EQ(converter.errorText(), "");
    EXPECT_EQ(converter.targetPath(), sub + QString::fromUtf8("/日本_0.png"));
    EXPECT_EQ(snaptest::decode_file(converter.targetPath().toStdString()).channels, 4u);
}

TEST_F(SnapshotConverterTest, ConstructionErrors) {
    FileToPlay movie(q(snaptest::fixture("snap_hap.mov")));
    const SnapshotMovie record = snaptest::movie_record(&movie);
    const SnapshotPrefs prefs = custom_folder(folder);
    EXPECT_EQ(SnapshotConverter(nullptr, nullptr, &record, &view).errorText(), "Internal error (Settings)");
    EXPECT_EQ(SnapshotConverter(nullptr, &prefs, nullptr, &view).errorText(), "Internal error (File)");
    EXPECT_EQ(SnapshotConverter(nullptr, &prefs, &record, nullptr).errorText(), "Internal error (Renderer)");
    const SnapshotPrefs empty = custom_folder(QString());
    EXPECT_EQ(SnapshotConverter(nullptr, &empty, &record, &view).errorText(), "Invalid destination folder (empty)");
    // A folder path through a regular file cannot be made.
    QFile(dir.filePath("plain")).open(QIODevice::WriteOnly);
    const SnapshotPrefs blocked = custom_folder(dir.filePath("plain/sub"));
    EXPECT_EQ(SnapshotConverter(nullptr, &blocked, &record, &view).errorText(), "Can't create target directory");

    SnapshotPrefs sizes = custom_folder(folder);
    sizes.scale_mode = 1;
    sizes.scale_width = 2;
    sizes.scale_height = 100000;
    const SnapshotConverter clamped(nullptr, &sizes, &record, &view);
    EXPECT_EQ(clamped.params().target_width, 4u);
    EXPECT_EQ(clamped.params().target_height, 65535u);
    sizes.scale_width = sizes.scale_height = 40000;
    EXPECT_EQ(SnapshotConverter(nullptr, &sizes, &record, &view).errorText(), "Snapshot size too large");

    SnapshotMovie notHap = record;
    notHap.fourcc = 0x61706368;  // 'apch'
    EXPECT_EQ(SnapshotConverter(nullptr, &prefs, &notHap, &view).errorText(),
              "Snapshot creation initialization failed");
}

TEST_F(SnapshotConverterTest, DesktopTarget) {
    FileToPlay movie(q(snaptest::fixture("snap_hap.mov")));
    const SnapshotMovie record = snaptest::movie_record(&movie);
    SnapshotPrefs prefs;  // desktop
    const SnapshotConverter converter(nullptr, &prefs, &record, &view);
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty()) {
        EXPECT_EQ(converter.errorText(), "Invalid destination folder (empty)");
    } else {
        EXPECT_EQ(converter.targetFolder(), desktop);
    }
}

TEST_F(SnapshotConverterTest, FailedSnapshotsLeaveNoFile) {
    FileToPlay movie(q(snaptest::fixture("snap_hap.mov")));
    SnapshotMovie record = snaptest::movie_record(&movie);
    const SnapshotPrefs prefs = custom_folder(folder);

    {  // a frame past the end: the movie's error text
        SnapshotConverter converter(nullptr, &prefs, &record, &view);
        converter.createSnapshot(3);
        EXPECT_EQ(converter.errorText(), "Invalid frame : 3 (duration file : 3)");
    }
    {  // a damaged sample: the decode fails before any file exists
        SnapshotMovie damaged = record;
        damaged.read_sample = [](uint32_t, VideoFrame* sample) {
            video_frame_alloc_data(sample, 64, VideoDataFormat_Compressed);
            std::fill_n(sample->planes[0], 64, uint8_t(0x5A));
            return QString();
        };
        SnapshotConverter converter(nullptr, &prefs, &damaged, &view);
        converter.createSnapshot(1);
        EXPECT_EQ(converter.errorText(), "Snapshot processing error");
    }
    EXPECT_TRUE(files_in(folder).isEmpty()) << files_in(folder).join(", ").toStdString();
}

}  // namespace
