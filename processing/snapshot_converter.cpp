#include "processing/snapshot_converter.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <new>
#include <stdexcept>

#include "base/text/time_text.h"
#include "media/video_frame.h"
#include "processing/snapshot_tree.h"

namespace {

QString two(uint64_t value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); }

QString join_fields(uint64_t a, uint64_t b, uint64_t c, const QString& last) {
    return QStringLiteral("%1_%2_%3_%4").arg(two(a), two(b), two(c), last);
}

uint32_t clamp_size(uint32_t value) { return std::clamp<uint32_t>(value, 4, 65535); }

}  // namespace

SnapshotConverter::SnapshotConverter(QObject* parent, const SnapshotPrefs* prefs, const SnapshotMovie* movie,
                                     const SnapshotView* view)
    : QObject(parent) {
    m_input = video_frame_new();
    if (!prefs) {
        m_error = QStringLiteral("Internal error (Settings)");
        return;
    }
    if (!movie) {
        m_error = QStringLiteral("Internal error (File)");
        return;
    }
    if (!view) {
        m_error = QStringLiteral("Internal error (Renderer)");
        return;
    }
    m_hasMovie = true;
    m_movie = *movie;
    setup(*prefs, *movie, *view);
}

SnapshotConverter::~SnapshotConverter() {
    video_frame_free(&m_input);
    video_graph_tree_free(&m_tree);
}

RgbaF SnapshotConverter::colourToFloats(const SnapshotColour& c) {
    RgbaF out;
    out.r = c.r / 255.0f;
    out.g = c.g / 255.0f;
    out.b = c.b / 255.0f;
    out.a = c.a / 255.0f;
    return out;
}

void SnapshotConverter::setup(const SnapshotPrefs& prefs, const SnapshotMovie& movie, const SnapshotView& view) {
    const uint32_t width = clamp_size(prefs.scale_width);
    const uint32_t height = clamp_size(prefs.scale_height);
    const uint32_t background = view.background;
    const uint32_t quality = view.scale_quality;
    const uint32_t alphaMode = view.alpha_mode;

    switch (prefs.dst_folder_mode) {
        case 0: m_folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation); break;
        case 1: m_folder = QFileInfo(movie.path).absoluteDir().absolutePath(); break;
        case 2: m_folder = prefs.custom_folder; break;
        default: break;
    }
    if (m_folder.isEmpty()) {
        m_error = QStringLiteral("Invalid destination folder (empty)");
        return;
    }
    if (!QFileInfo(m_folder).isDir() && !QDir().mkpath(m_folder)) {
        m_folder.clear();
        m_error = QStringLiteral("Can't create target directory");
        return;
    }
    m_timeMode = prefs.time_mode;

    if (movie.has_display_window && view.crop_box_display_mode == 1) {
        m_params.crop_box = 1;
        m_params.canvas_width = movie.canvas_width;
        m_params.canvas_height = movie.canvas_height;
        m_params.canvas_x = movie.canvas_x;
        m_params.canvas_y = movie.canvas_y;
    }

    uint32_t scaleMode = prefs.scale_mode;
    if (scaleMode > 2) {
        qDebug("Warning : invalid scale mode : %d", int(scaleMode));
        scaleMode = 0;
    }
    const uint32_t jpegQuality = std::clamp<uint32_t>(prefs.jpeg_quality, 1, 100);

    snapshot_set_source(&m_params, movie.width, movie.height, movie.fourcc, movie.subcodec, movie.has_alpha ? 0 : 1);

    RgbaF colours[2];
    if (background == SnapshotBg_CustomColour) {
        colours[0] = colourToFloats(prefs.custom_bg);
    } else if (background == SnapshotBg_CustomCheckerboard) {
        colours[0] = colourToFloats(prefs.checker[0]);
        colours[1] = colourToFloats(prefs.checker[1]);
    }
    snapshot_set_background(&m_params, background, alphaMode, colours[0], colours[1]);

    if (prefs.format == 1) {
        snapshot_set_png(&m_params);
    } else {
        if (prefs.format != 0) qDebug("Warning : invalid format : %lu", static_cast<unsigned long>(prefs.format));
        snapshot_set_jpeg(&m_params, jpegQuality);
    }
    snapshot_set_scale(&m_params, width, height, scaleMode, quality);
    if (view.show_safe_area)
        snapshot_set_safe_area(&m_params, colourToFloats(prefs.safe_action), colourToFloats(prefs.safe_title));
    if (view.show_video_area) snapshot_set_video_area(&m_params, colourToFloats(prefs.video_area));

    try {
        // A target whose planes would not fit 32-bit sizes is refused before anything
        // is allocated.
        SnapshotParams probe = m_params;
        snapshot_prepare_params(&probe);
        if (snapshot_largest_plane_bytes(&probe) > kSnapshotMaxPlaneBytes) {
            m_error = QStringLiteral("Snapshot size too large");
            return;
        }
        m_tree = snapshot_graph_build(&m_params);
    } catch (const std::bad_alloc&) {
        m_error = QStringLiteral("Failed to create snapshot graph OOM");
    } catch (const std::exception& error) {
        qDebug("Failed to create snapshot graph %s", error.what());
        m_error = QStringLiteral("Snapshot creation initialization failed");
    }
}

QString SnapshotConverter::timeNameFrames(uint64_t frame, float fps) {
    if (!(fps > 0)) return join_fields(0, 0, 0, two(0));
    const uint64_t perSecond = std::max<uint64_t>(1, uint64_t(std::roundf(fps)));
    const uint64_t perMinute = std::max<uint64_t>(1, uint64_t(std::roundf(fps * 60.0f)));
    // An hour is sixty of those minutes: the minutes field never reaches 60.
    const uint64_t perHour = perMinute * 60;
    const uint64_t hours = frame / perHour;
    uint64_t r = frame % perHour;
    const uint64_t minutes = r / perMinute;
    r %= perMinute;
    return join_fields(hours, minutes, r / perSecond, two(r % perSecond));
}

QString SnapshotConverter::timeNameMillis(uint64_t frame, uint32_t rateNum, uint32_t rateDen) {
    if (rateNum == 0 || rateDen == 0) return join_fields(0, 0, 0, QStringLiteral("000"));
    // Whole milliseconds, rounded, in exact arithmetic: the fraction can never round up
    // to a thousandth that belongs to the next second.
    const unsigned __int128 scaled = static_cast<unsigned __int128>(frame) * 1000u * rateDen;
    const uint64_t ms = uint64_t((scaled * 2 + rateNum) / (static_cast<unsigned __int128>(rateNum) * 2));
    const QString millis = QStringLiteral("%1").arg(ms % 1000, 3, 10, QLatin1Char('0'));
    return join_fields(ms / 3600000, (ms / 60000) % 60, (ms / 1000) % 60, millis);
}

QString SnapshotConverter::timeNameTimecode(uint64_t frame, uint32_t rateNum, uint32_t rateDen, bool dropFrame) {
    if (rateNum == 0 || rateDen == 0) return join_fields(0, 0, 0, two(0));
    // The time display's own arithmetic, so a name never says another time than the
    // one shown for the frame. The labels repeat each day, so the count is taken within
    // the day first; a day of labels fits 32 bits at any rate below 49,710 fps.
    const uint64_t day = timecode_labels_per_day(rateNum, rateDen, dropFrame);
    const TimecodeLabel label =
        timecode_label_from_frame_count(static_cast<uint32_t>(frame % day), rateNum, rateDen, dropFrame);
    return join_fields(label.hours, label.minutes, label.seconds, two(label.frames));
}

bool SnapshotConverter::fileExists(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

QString SnapshotConverter::makeUniqueFilePath(const QString& path, const QString& extension,
                                              const QStringList& avoid) {
    // Anything of that name (a folder too) would stop the exclusive create.
    const auto taken = [&](const QString& candidate) {
        return QFileInfo(candidate).exists() || QFileInfo(candidate).isSymLink() || avoid.contains(candidate);
    };
    QString candidate = QStringLiteral("%1.%2").arg(path, extension);
    for (uint64_t counter = 1; taken(candidate); ++counter)
        candidate = QStringLiteral("%1_%2.%3").arg(path).arg(counter).arg(extension);
    return candidate;
}

void SnapshotConverter::buildTargetPath(uint32_t frame) {
    m_targetPath.clear();
    if (m_folder.isEmpty()) {
        m_error = QStringLiteral("No target directory");
        return;
    }
    const QString base = QFileInfo(m_movie.path).completeBaseName();
    const QString extension =
        m_params.output_format == SnapshotOutput_Png ? QStringLiteral("png") : QStringLiteral("jpg");
    QString time;
    switch (m_timeMode) {
        case 1: time = QString::number(frame); break;
        case 2: time = timeNameFrames(frame, m_movie.fps); break;
        case 4:
            time = timeNameTimecode(uint64_t(frame) + m_movie.timecode_start, m_movie.rate_num, m_movie.rate_den,
                                    m_movie.drop_frame);
            break;
        default: time = timeNameMillis(frame, m_movie.rate_num, m_movie.rate_den); break;
    }
    const QString name = QStringLiteral("%1_%2").arg(base, time);
    const QString path = QDir::cleanPath(m_folder + QLatin1Char('/') + name);
    m_targetPath = makeUniqueFilePath(path, extension, {});
}

void SnapshotConverter::createSnapshot(uint32_t frame) {
    if (!m_hasMovie) {
        qDebug("No file mov");
        m_error = QStringLiteral("Invalid input file");
        return;
    }
    // A converter that failed to build has nothing to run; its first error stays.
    if (!m_error.isEmpty()) return;
    if (!m_tree) {
        m_error = QStringLiteral("Snapshot creation initialization failed");
        return;
    }
    buildTargetPath(frame);
    if (!m_error.isEmpty()) return;

    qDebug().noquote() << QStringLiteral("Target path : ") + m_targetPath;
    if (fileExists(m_targetPath)) {
        m_error = QStringLiteral("Target snapshot file already exist\n%1").arg(m_targetPath);
        return;
    }
    if (!m_movie.read_sample) {
        m_error = QStringLiteral("Invalid input file");
        return;
    }
    const QString readError = m_movie.read_sample(frame, m_input);
    if (!readError.isEmpty()) {
        m_error = readError;
        return;
    }
    try {
        snapshot_graph_run(m_tree, m_input);
        snapshot_write_output(m_tree, reinterpret_cast<const char16_t*>(m_targetPath.utf16()));
    } catch (const std::bad_alloc&) {
        m_error = QStringLiteral("Snapshot processing error (OOM)");
    } catch (const std::exception& error) {
        qDebug("Error snapshot : %s", error.what());
        m_error = QStringLiteral("Snapshot processing error");
    }
}
