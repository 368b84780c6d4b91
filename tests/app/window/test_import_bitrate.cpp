// The average bit rate a user reads, end to end on the X server: movies made by FFmpeg
// are opened through File > Open, and the information panel's bit rate and the
// import's high bit-rate warning are checked against the video's bytes and the
// movie's duration as ffprobe reads them.
#include <gtest/gtest.h>

#include <QAction>
#include <QProcess>
#include <QRegularExpression>
#include <cmath>

#include "app/main_window.h"
#include "app/view_info_error.h"
#include "app/view_information.h"
#include "base/report/report_text.h"
#include "base/settings/global_settings.h"
#include "movie/file_to_play.h"
#include "tests/app/window/shown_main_window.h"
#include "ui/view_label.h"

namespace {

QStringList run(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    EXPECT_TRUE(process.waitForFinished(60000)) << program.toStdString();
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

// A text such as "619.45 kbits/s" is `expected` bits per second, to its rounding.
void expect_rate(const QString& text, double expected) {
    static const QRegularExpression pattern("^([0-9.]+) ([kMG]?)bits/s$");
    const QRegularExpressionMatch m = pattern.match(text);
    ASSERT_TRUE(m.hasMatch()) << text.toStdString();
    const double unit = std::pow(1e3, QStringList{"", "k", "M", "G"}.indexOf(m.captured(2)));
    EXPECT_NEAR(m.captured(1).toDouble() * unit, expected, 0.006 * unit) << text.toStdString();
}

class ImportBitrateTest : public ChosenPathWindowTest {};

}  // namespace

TEST_F(ImportBitrateTest, VariableAndConstantRateMoviesShowTheirBytesOverTheirDuration) {
    ASSERT_NO_FATAL_FAILURE(shown.open());
    MainWindow& window = *shown.window;
    QAction* open = menu_bar_entry(window, [](const QAction* a) { return a->text() == "Open..."; });
    ASSERT_NE(open, nullptr);
    GlobalSettings& settings = *window.settings();
    settings.warn_about_high_bitrate = true;
    settings.ui_bitrate_unit_bits = true;
    // The import's warning text with the high bit-rate limit at `limit`; "" without one.
    const auto import_warnings = [&](double limit) {
        settings.warn_bitrate_limit = limit;
        open->trigger();
        EXPECT_TRUE(window.movie() && window.movie()->filePath() == chosen);
        if (!window.isErrorShown()) return QString();
        EXPECT_EQ(window.messageView()->titleLabel()->text(), "File import Warning");
        return window.messageView()->messageLabel()->text();
    };

    // 90 stored frames; in the variable one the last 60 source frames are kept one in
    // two, so its frames last one or two ticks and 5.96 s in all.
    for (const bool variable : {true, false}) {
        SCOPED_TRACE(variable ? "variable rate" : "constant rate");
        chosen = dir.filePath(variable ? "vfr.mov" : "cfr.mov");
        QStringList encode{"-nostdin", "-loglevel", "error", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25",
                           "-frames:v", "90", "-c:v", "hap"};
        if (variable)
            encode << "-vf" << "select='lt(n\\,30)+eq(mod(n\\,2)\\,0)*gte(n\\,30)'" << "-fps_mode" << "vfr"
                   << "-video_track_timescale" << "25";
        run("ffmpeg", encode << chosen);
        // The packet sizes, then the stream's duration.
        QStringList probed = run("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                             "packet=size:stream=duration", "-of", "csv=p=0", chosen});
        ASSERT_GT(probed.size(), 1);
        const double duration = probed.takeLast().toDouble();
        uint64_t bytes = 0;
        for (const QString& size : probed) bytes += size.toULongLong();
        const double expected = 8.0 * double(bytes) / duration;

        // A limit above the rate warns of nothing but the variable rate; one below it
        // names the rate.
        EXPECT_EQ(import_warnings(1.25 * expected).toStdString(), variable ? "Variable video fps" : "");
        const QString limit = formatBitrate(uint64_t(std::llround(0.8 * expected)), true);
        const QString text = import_warnings(0.8 * expected);
        const QRegularExpressionMatch m = QRegularExpression(QString(variable ? "^Variable video fps\n" : "^") +
                                                             "High bitrate \\((.+) > " +
                                                             QRegularExpression::escape(limit) + "\\)$")
                                              .match(text);
        ASSERT_TRUE(m.hasMatch()) << text.toStdString();
        expect_rate(m.captured(1), expected);

        // The information panel as the window builds it for the open movie.
        ViewInformation panel(nullptr);
        panel.setUnitSwitches(settings.ui_bitrate_unit_bits, settings.ui_bandwidth_gpu_unit_bits,
                              settings.ui_filesize_unit_ki);
        panel.setFileInfo(window.movie(), window.audioTracks());
        const QStringList lines = panel.lineTexts().filter(QRegularExpression("^Bitrate : "));
        ASSERT_EQ(lines.size(), 1) << panel.lineTexts().join('\n').toStdString();
        expect_rate(lines[0].mid(10), expected);
    }
}
