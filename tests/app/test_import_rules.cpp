// The import's file rules on real files: which paths are taken, which may be opened
// at all, the channel order of companion audio, and the warnings shown for a movie.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <sys/stat.h>

#include "app/import_rules.h"
#include "movie/file_to_play.h"

namespace {
// FFmpeg writes HAP only at multiples of 4: a 68x52 movie gets its track header and
// sample description patched to 66x50 (the textures still cover the rounded size).
void patch_picture_size(QByteArray& movie, uint16_t width, uint16_t height) {
    const qsizetype tkhd = movie.indexOf("tkhd");
    ASSERT_GT(tkhd, 0);
    const qsizetype entry = movie.indexOf("Hap1");
    ASSERT_GT(entry, 0);
    auto put16 = [&](qsizetype at, uint16_t v) {
        movie[at] = static_cast<char>(v >> 8);
        movie[at + 1] = static_cast<char>(v & 0xFF);
    };
    put16(tkhd + 80, width);  // 16.16 fixed point: the whole part
    put16(tkhd + 84, height);
    put16(entry + 28, width);
    put16(entry + 30, height);
}

void touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
}
}  // namespace

TEST(ImportRules, SortsPathsBySuffixAndRefusesOthers) {
    ImportPaths p = import_sort_paths({"/a/clip.MOV", "/a/two.mov", "/a/x.Wav", "/a/y.wav"});
    EXPECT_FALSE(p.refused);
    EXPECT_EQ(p.movie, "/a/clip.MOV");
    EXPECT_EQ(p.audio, QStringList({"/a/x.Wav", "/a/y.wav"}));

    p = import_sort_paths({"/a/a.mov", "/a/b.TXT"});
    EXPECT_TRUE(p.refused);
    EXPECT_EQ(p.badSuffix, "txt");

    p = import_sort_paths({"/a/noext"});
    EXPECT_TRUE(p.refused);
    EXPECT_EQ(p.badSuffix, "");
}

TEST(ImportRules, OrdersWavFilesByChannel) {
    EXPECT_EQ(import_order_wav_by_channel({"/m/x_rs.wav", "/m/x_l.wav", "/m/x_r.wav"}),
              QStringList({"/m/x_l.wav", "/m/x_r.wav", "/m/x_rs.wav"}));
    EXPECT_EQ(import_order_wav_by_channel({"/m/b.wav", "/m/show_LFE.wav", "/m/a.wav", "/m/show_C.wav", "/m/show_Ls.wav"}),
              QStringList({"/m/show_C.wav", "/m/show_LFE.wav", "/m/show_Ls.wav", "/m/a.wav", "/m/b.wav"}));
    // The base name ends at the first dot: "x_l.take2.wav" is a left channel.
    EXPECT_EQ(import_order_wav_by_channel({"/m/z.wav", "/m/x_l.take2.wav"}),
              QStringList({"/m/x_l.take2.wav", "/m/z.wav"}));
}

TEST(ImportRules, FindsCompanionAudioNextToTheMovie) {
    QTemporaryDir dir;
    const QString movie = dir.filePath("show.mov");
    touch(movie);
    EXPECT_TRUE(import_companion_wav_files(movie).isEmpty());

    touch(dir.filePath("show_l.wav"));
    touch(dir.filePath("show_L.wav"));
    touch(dir.filePath("show_R.wav"));
    touch(dir.filePath("show_C.wav"));
    touch(dir.filePath("show_rs.wav"));
    QDir(dir.path()).mkdir("show_Ls.wav");  // a folder is not a file
    EXPECT_EQ(import_companion_wav_files(movie),
              QStringList({dir.filePath("show_L.wav"), dir.filePath("show_R.wav"), dir.filePath("show_C.wav"),
                           dir.filePath("show_rs.wav")}));

    touch(dir.filePath("show.wav"));
    EXPECT_EQ(import_companion_wav_files(movie), QStringList({dir.filePath("show.wav")}));
}

TEST(ImportRules, OnlyRegularFilesOrMissingPathsMayBeOpened) {
    QTemporaryDir dir;
    const QString file = dir.filePath("clip.mov");
    touch(file);
    const QString link = dir.filePath("link.mov");
    ASSERT_TRUE(QFile::link(file, link));
    for (const QString& path : {file, link, dir.filePath("missing.mov")})
        EXPECT_EQ(import_not_regular_file_text(path), QString()) << path.toStdString();

    const QString fifo = dir.filePath("pipe.mov");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString device = dir.filePath("null.wav");
    ASSERT_TRUE(QFile::link("/dev/null", device));
    const QString folder = dir.filePath("folder.mov");
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.mov"));
    for (const QString& path : {fifo, device, folder})
        EXPECT_EQ(import_not_regular_file_text(path), "Not a regular file : " + QDir::toNativeSeparators(path))
            << path.toStdString();
}

TEST(ImportRules, WarningsOfARealMovie) {
    QTemporaryDir dir;
    const QString path = dir.filePath("odd.mov");
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                            "testsrc2=size=68x52:rate=25:duration=0.4", "-c:v", "hap", path});
    ASSERT_TRUE(ffmpeg.waitForFinished(30000));
    ASSERT_EQ(ffmpeg.exitCode(), 0) << ffmpeg.readAllStandardError().toStdString();
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        patch_picture_size(bytes, 66, 50);
        file.seek(0);
        file.write(bytes);
    }
    FileToPlay movie(path);
    ASSERT_TRUE(movie.errorText().isEmpty()) << movie.errorText().toStdString();

    ImportWarningSwitches on;
    on.codecWarning = "Codec HAP";
    on.notMultiple4 = true;
    on.variableFps = true;
    on.highBitrate = true;
    on.bitrateLimit = 1000.0;
    on.bitrateInBits = true;
    const QStringList warnings = import_movie_warnings(movie, on);
    ASSERT_EQ(warnings.size(), 3) << warnings.join(" | ").toStdString();
    EXPECT_EQ(warnings[0], "Codec HAP");
    EXPECT_EQ(warnings[1], "Not multiple 4");
    EXPECT_TRUE(warnings[2].startsWith("High bitrate (")) << warnings[2].toStdString();
    EXPECT_TRUE(warnings[2].endsWith(" > 1.00 kbits/s)")) << warnings[2].toStdString();

    // A limit equal to the rate warns about nothing; switches off warn about nothing.
    on.bitrateLimit = movie.averageBitrate();
    EXPECT_EQ(import_movie_warnings(movie, on).size(), 2);
    EXPECT_TRUE(import_movie_warnings(movie, ImportWarningSwitches{}).isEmpty());

    EXPECT_EQ(import_unsupported_audio_text(0), "");
    EXPECT_EQ(import_unsupported_audio_text(1), "1 unsupported audio track");
    EXPECT_EQ(import_unsupported_audio_text(3), "3 unsupported audio tracks");
}
