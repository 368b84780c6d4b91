// The average bit rate a user reads, end to end on the X server: movies made by FFmpeg
// are opened through File > Open, and the information panel's bit rate and the
// import's high bit-rate warning are checked against the video's bytes and the
// movie's duration as ffprobe reads them.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cmath>

#include "app/main_window.h"
#include "app/view_info_error.h"
#include "app/view_information.h"
#include "base/report/report_text.h"
#include "base/settings/global_settings.h"
#include "movie/file_to_play.h"
#include "tests/app/window/shown_main_window.h"
#include "tests/render/vulkan_harness.h"
#include "ui/view_label.h"

namespace {

QString run(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    EXPECT_TRUE(process.waitForFinished(60000)) << program.toStdString();
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Bits per second of a text such as "619.45 kbits/s", and how far its rounding may
// move it; -1 when the text is not a bit rate.
double parse_bitrate(const QString& text, double* tolerance) {
    static const QRegularExpression pattern("^([0-9.]+) ([kMG]?)bits/s$");
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch()) return -1.0;
    const QString prefix = m.captured(2);
    const double unit = prefix == "k" ? 1e3 : prefix == "M" ? 1e6 : prefix == "G" ? 1e9 : 1.0;
    *tolerance = 0.006 * unit;
    return m.captured(1).toDouble() * unit;
}

class ImportBitrateTest : public ChosenPathWindowTest {};

}  // namespace

TEST_F(ImportBitrateTest, VariableAndConstantRateMoviesShowTheirBytesOverTheirDuration) {
    struct Case {
        const char* name;
        QStringList encode;
        bool variable;
    };
    // 90 stored frames; in the variable one the last 60 source frames are kept one in
    // two, so its frames last one or two ticks and 5.96 s in all.
    const Case cases[] = {
        {"vfr.mov",
         {"-vf", "select='lt(n\\,30)+eq(mod(n\\,2)\\,0)*gte(n\\,30)'", "-fps_mode", "vfr", "-c:v", "hap",
          "-video_track_timescale", "25"},
         true},
        {"cfr.mov", {"-c:v", "hap"}, false},
    };

    ASSERT_NO_FATAL_FAILURE(shown.open());
    MainWindow& window = *shown.window;
    QAction* open = menu_bar_entry(window, [](const QAction* a) { return a->text() == "Open..."; });
    ASSERT_NE(open, nullptr);
    GlobalSettings& settings = *window.settings();
    settings.warn_about_high_bitrate = true;
    settings.ui_bitrate_unit_bits = true;

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(c.name);
        run("ffmpeg", QStringList{"-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                  "testsrc2=size=320x240:rate=25", "-frames:v", "90"}
                          << c.encode << path);
        uint64_t bytes = 0;
        const QString sizes = run("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries", "packet=size",
                                              "-of", "csv=p=0", path});
        for (const QString& line : sizes.split('\n', Qt::SkipEmptyParts)) bytes += line.trimmed().toULongLong();
        const double duration = run("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                                "stream=duration", "-of", "csv=p=0", path})
                                    .trimmed()
                                    .toDouble();
        ASSERT_GT(bytes, 0u);
        ASSERT_GT(duration, 0.0);
        const double expected = 8.0 * double(bytes) / duration;

        // A limit above the rate warns of nothing but the variable rate; one below it
        // names the rate.
        for (const double factor : {1.25, 0.8}) {
            SCOPED_TRACE(factor);
            settings.warn_bitrate_limit = expected * factor;
            chosen = path;
            open->trigger();
            const FileToPlay* movie = window.movie();
            ASSERT_NE(movie, nullptr);
            ASSERT_EQ(movie->filePath(), path);
            ASSERT_EQ(movie->isVariableFps(), c.variable);
            EXPECT_NEAR(movie->durationSeconds(), duration, 1e-6);

            QStringList warnings;
            if (window.isErrorShown()) {
                EXPECT_EQ(window.messageView()->titleLabel()->text(), "File import Warning");
                warnings = window.messageView()->messageLabel()->text().split('\n');
            }
            if (c.variable) {
                ASSERT_FALSE(warnings.isEmpty());
                EXPECT_EQ(warnings.takeFirst(), "Variable video fps");
            }
            if (factor > 1.0) {
                EXPECT_TRUE(warnings.isEmpty()) << warnings.join(" | ").toStdString();
            } else {
                ASSERT_EQ(warnings.size(), 1);
                static const QRegularExpression warning("^High bitrate \\((.+) > (.+)\\)$");
                const QRegularExpressionMatch m = warning.match(warnings[0]);
                ASSERT_TRUE(m.hasMatch()) << warnings[0].toStdString();
                double tolerance = 0;
                const double shown_rate = parse_bitrate(m.captured(1), &tolerance);
                EXPECT_NEAR(shown_rate, expected, tolerance) << warnings[0].toStdString();
                EXPECT_EQ(m.captured(2), formatBitrate(uint64_t(std::llround(expected * factor)), true));
            }
        }

        // The information panel as the window builds it for the open movie.
        ViewInformation panel(nullptr);
        panel.setUnitSwitches(settings.ui_bitrate_unit_bits, settings.ui_bandwidth_gpu_unit_bits,
                              settings.ui_filesize_unit_ki);
        panel.setFileInfo(window.movie(), window.audioTracks());
        const QStringList lines = panel.lineTexts().filter(QRegularExpression("^Bitrate : "));
        ASSERT_EQ(lines.size(), 1) << panel.lineTexts().join('\n').toStdString();
        double tolerance = 0;
        const double shown_rate = parse_bitrate(lines[0].mid(10), &tolerance);
        EXPECT_NEAR(shown_rate, expected, tolerance) << lines[0].toStdString();
    }
}
