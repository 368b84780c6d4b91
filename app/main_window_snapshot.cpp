// Snapshots from the transport bar: the snapshot button saves the frame on screen as
// the view shows it (playback paused, on the GUI thread), and its context menu opens
// the snapshot parameters.
#include <QAction>
#include <QColor>
#include <QMenu>
#include <QMouseEvent>

#include "app/main_window.h"
#include "base/settings/global_settings.h"
#include "movie/file_to_play.h"
#include "processing/snapshot_converter.h"
#include "render/vulkan_win_renderer.h"

namespace {

QAction* default_menu_exec(QMenu* menu, const QPoint& at) { return menu->exec(at); }

MainWindow::MenuExecProvider g_menu_exec = default_menu_exec;

SnapshotColour snapshot_colour(const QColor& colour) {
    return SnapshotColour{uint8_t(colour.red()), uint8_t(colour.green()), uint8_t(colour.blue()),
                          uint8_t(colour.alpha())};
}

SnapshotPrefs snapshot_prefs(const GlobalSettings& s) {
    SnapshotPrefs p;
    p.format = s.snapshot_format;
    p.dst_folder_mode = s.snapshot_dst_folder_mode;
    p.custom_folder = s.snapshot_custom_folder_path;
    p.scale_mode = s.snapshot_scale_mode;
    p.scale_width = s.snapshot_scale_width;
    p.scale_height = s.snapshot_scale_height;
    p.jpeg_quality = s.snapshot_jpeg_qual;
    p.time_mode = s.snapshot_time_mode;
    p.custom_bg = snapshot_colour(s.ui_custom_bg_color);
    p.checker[0] = snapshot_colour(s.ui_custom_checkerboard_color_1);
    p.checker[1] = snapshot_colour(s.ui_custom_checkerboard_color_2);
    p.safe_action = snapshot_colour(s.ui_col_safe_area_action);
    p.safe_title = snapshot_colour(s.ui_col_safe_area_title);
    p.video_area = snapshot_colour(s.ui_col_video_area);
    return p;
}

SnapshotMovie snapshot_movie(FileToPlay* movie) {
    SnapshotMovie m;
    MovFile* record = nullptr;
    movie->movFile(&record);
    m.path = movie->filePath();
    m.width = movie->width();
    m.height = movie->height();
    m.fourcc = movie->codec();
    m.subcodec = record->codecProfile;
    m.has_alpha = movie->hasAlphaChannel();
    m.has_display_window = movie->hasDisplayWindow();
    m.canvas_width = record->displayWidth;
    m.canvas_height = record->displayHeight;
    m.canvas_x = record->originX;
    m.canvas_y = record->originY;
    m.fps = movie->fps();
    movie->fpsRational(&m.rate_num, &m.rate_den);
    // The start the time display counts from, so the name of a frame is its label.
    m.timecode_start = movie->timecodeStartAtPlayedRate();
    m.drop_frame = movie->isDropFrameTimecode();
    // The movie's error text is the read's verdict, so it starts empty.
    m.read_sample = [movie](uint32_t frame, VideoFrame* sample) {
        movie->clearErrorText();
        movie->readCompressedFrame(frame, sample);
        return movie->errorText();
    };
    return m;
}

SnapshotView snapshot_view(const VulkanWinRenderer& r) {
    SnapshotView v;
    v.background = r.backgroundMode();
    v.scale_quality = r.scaleMode();
    v.alpha_mode = r.alphaMode();
    v.crop_box_display_mode = r.cropBoxDisplayMode();
    v.show_safe_area = r.canvasState().showSafeArea != 0;
    v.show_video_area = r.canvasState().showVideoArea != 0;
    return v;
}

}  // namespace

MainWindow::MenuExecProvider MainWindow::setMenuExecProvider(MenuExecProvider provider) {
    MenuExecProvider previous = g_menu_exec;
    g_menu_exec = provider ? provider : default_menu_exec;
    return previous;
}

void MainWindow::viewControlsClicSnapshot() {
    const QString title = QStringLiteral("Snapshot error");
    if (!m_movie) {
        displayErrorInfo(title, QStringLiteral("No file load"));
        return;
    }
    stopPlayback();
    VulkanWinRenderer* r = renderer();
    if (!r) {
        displayErrorInfo(title, QStringLiteral("UI not load 2"));
        return;
    }
    SnapshotPrefs prefs;
    if (m_settings) prefs = snapshot_prefs(*m_settings);
    const SnapshotMovie movie = snapshot_movie(m_movie);
    const SnapshotView view = snapshot_view(*r);
    SnapshotConverter converter(nullptr, m_settings ? &prefs : nullptr, &movie, &view);
    if (!converter.errorText().isEmpty()) {
        displayErrorInfo(title, converter.errorText());
        return;
    }
    converter.createSnapshot(m_currentFrame);
    if (!converter.errorText().isEmpty()) {
        displayErrorInfo(title, converter.errorText());
        return;
    }
    displayInfo(QStringLiteral("Snapshot creation"),
                QStringLiteral("Snapshot created at :\n%1").arg(converter.targetPath()));
}

void MainWindow::viewControlsRightClicSnapshot(const QMouseEvent* event) {
    if (!event) return;
    QMenu menu(QStringLiteral("Context menu Snapshot"), this);
    QAction* params = menu.addAction(QStringLiteral("Snapshot parameters..."));
    QAction* chosen = g_menu_exec(&menu, event->globalPosition().toPoint());
    if (chosen == params) act_context_menu_snapshot_params();
}
