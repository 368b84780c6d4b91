// Importing a movie and its audio files: replaces the movie only when the new one
// opens, builds the audio sources, finds companion audio files and shows the
// warnings the preferences ask for. Every way in (the Open dialog, drops on the
// window or the mapping panel, the command line) comes here, so a path that is not
// a regular file is refused here, before anything opens it: the GUI thread never
// waits on a FIFO.
#include <QDebug>
#include <QFileDialog>
#include <memory>

#include "app/import_rules.h"
#include "app/main_window.h"
#include "base/settings/global_settings.h"
#include "app/view_bottom_ctrl.h"
#include "app/view_in_out_point.h"
#include "app/view_info_error.h"
#include "app/view_progress_bar.h"
#include "audio/all_audio_src_tracks.h"
#include "audio/audio_src_buffer.h"
#include "audio/audio_src_track.h"
#include "movie/file_to_play.h"
#include "movie/frame_compressed_buffer.h"
#include "render/vulkan_win_renderer.h"
#include "render/vulkan_window.h"
#include "tools/dialog_analyse.h"
#include "tools/dialog_audio_analyse.h"
#include "tools/dialog_benchmark.h"
#include "ui/view_editable_time.h"

namespace {
QString default_open_file(QWidget* parent) {
    return QFileDialog::getOpenFileName(parent, "Open File", QString(), "Mov HAP files (*.mov)");
}
MainWindow::OpenFileProvider g_open_file = default_open_file;

// Audio files opened for one import: freed unless handed to the track list.
struct OpenedTracks {
    QList<AudioSrcTrack*> tracks;
    ~OpenedTracks() { qDeleteAll(tracks); }
    QList<AudioSrcTrack*> release() {
        QList<AudioSrcTrack*> out;
        out.swap(tracks);
        return out;
    }
};
}  // namespace

MainWindow::OpenFileProvider MainWindow::setOpenFileProvider(OpenFileProvider provider) {
    OpenFileProvider previous = g_open_file;
    g_open_file = provider ? provider : default_open_file;
    return previous;
}

void MainWindow::act_open_menu() {
    const QString path = g_open_file(this);
    if (path.isEmpty()) return;
    loadFile({path}, -1, false);
}

void MainWindow::stopToolTasks() {
    if (m_fileTestDialog) m_fileTestDialog->stopTask();
    if (m_audioAnalyseDialog) m_audioAnalyseDialog->stopTask();
    if (m_benchmarkDialog) m_benchmarkDialog->stopTask();
}

void MainWindow::loadFile(const QStringList& files, int32_t visible_index, bool startup) {
    // A tool's task may read the open movie or its tracks, which this import may free:
    // every running task is stopped first, and waited for unless it reads with readers
    // of its own (the loudness analysis, whose step can take seconds); the tool windows
    // hold the movie through guarded pointers.
    stopToolTasks();
    act_timer_hide_error_info();
    if (!startup) {
        stopPlayback();
        if (VulkanWinRenderer* r = renderer()) r->forceStop();
    }

    const ImportPaths paths = import_sort_paths(files);
    if (paths.refused) {
        displayErrorInfo("File Import Error", QString("Unsupported extension (%1)").arg(paths.badSuffix));
        return;
    }

    QStringList warnings;
    bool movieImported = false;
    // Movie tracks of the new movie: made before anything of the old movie goes, so
    // the old movie and its tracks stay whole when the new one fails.
    std::unique_ptr<FileToPlay> opened;
    OpenedTracks movieTracks;
    if (!paths.movie.isEmpty()) {
        const QString refusal = import_not_regular_file_text(paths.movie);
        if (!refusal.isEmpty()) {
            displayErrorInfo("File import error", refusal);
            return;
        }
        opened = std::make_unique<FileToPlay>(paths.movie);
        if (!opened->errorText().isEmpty()) {
            displayErrorInfo("File import error", opened->errorText());
            return;
        }
        ImportWarningSwitches switches;
        switches.codecWarning = m_settings->codecWarningText(opened->codec());
        switches.notMultiple4 = m_settings->warn_about_not_multiple_4;
        switches.variableFps = m_settings->warn_about_variable_fps;
        switches.highBitrate = m_settings->warn_about_high_bitrate;
        switches.bitrateLimit = m_settings->warn_bitrate_limit;
        switches.bitrateInBits = m_settings->ui_bitrate_unit_bits;
        warnings = import_movie_warnings(*opened, switches);
        movieTracks.tracks = opened->createAudioTracks();
    }

    // Audio files: the ones given, or the companions of a new movie without sound.
    QStringList audioPaths = paths.audio;
    if (audioPaths.isEmpty() && opened && m_settings->import_auto_load_wave_files) {
        bool playable = false;
        for (AudioSrcTrack* track : movieTracks.tracks) playable = playable || track->isPlayable();
        if (!playable) audioPaths = import_companion_wav_files(paths.movie);
    }
    if (!audioPaths.isEmpty() && !opened && !m_movie) {
        displayErrorInfo("File import error", "Mov HAP need to be imported before wav files");
        return;
    }
    audioPaths = import_order_wav_by_channel(audioPaths);
    OpenedTracks wavTracks;
    QString audioError;
    for (const QString& path : audioPaths) {
        audioError = import_not_regular_file_text(path);
        if (audioError.isEmpty()) {
            auto track = std::make_unique<AudioSrcTrack>(path);
            audioError = track->errorText();
            if (audioError.isEmpty()) wavTracks.tracks.append(track.release());
        }
        if (!audioError.isEmpty()) {
            qDeleteAll(wavTracks.release());
            break;
        }
    }

    // Everything of this import has opened (or only its audio failed): the old movie
    // and its tracks go now.
    if (m_sourceBuffer) {
        stopAudio();
        m_sourceBuffer->releaseTracks();
    }
    if (opened) {
        delete m_movie;
        m_movie = opened.release();
        movieImported = true;
        m_currentFrame = 0;
        m_tracks->deleteAll();
        visible_index = -1;
        const QList<AudioSrcTrack*> own = movieTracks.release();
        if (!own.isEmpty()) {
            m_tracks->addTracks(own);
            uint32_t unsupported = 0;
            for (AudioSrcTrack* track : own)
                if (!track->isPlayable()) ++unsupported;
            if (m_settings->warn_about_unsupported_audio && unsupported > 0)
                warnings.append(import_unsupported_audio_text(unsupported));
        }
        m_bottomCtrl->setControlsEnabled(true);
        setWindowTitle(QString("%1 : %2").arg(kTitleWithFile, paths.movie));
        m_progressBar->setFrameCount(m_movie->frameCount());
        m_inOutPoint->setFrameCount(m_movie->frameCount());
        uint32_t numerator = 0;
        uint32_t denominator = 1;
        m_movie->fpsRational(&numerator, &denominator);
        ViewEditableTimeSpendTotal* time = m_bottomCtrl->timeDisplay();
        time->setRate(numerator, denominator);
        time->setTotal(m_movie->frameCount());
        time->setLimits(m_movie->timecodeStartAtPlayedRate(), m_movie->isDropFrameTimecode());
        if (VulkanWinRenderer* r = renderer()) r->allocVideoTextures(m_movie);
        m_frameQueue->setFile(m_movie);
        if (VulkanWinRenderer* r = renderer()) {
            r->zoomFit();
            r->refresh();
        }
    }

    if (!audioPaths.isEmpty() && audioError.isEmpty()) {
        if (m_settings->mute_embed_audio_tracks_when_adding_wav) m_tracks->clearMovieTrackMappings();
        m_tracks->insertTracksAt(wavTracks.release(), visible_index);
    }
    m_tracks->autoSelectLayout();

    if (!audioError.isEmpty()) {
        displayErrorInfo("Wav file import error", audioError);
    } else if (!warnings.isEmpty()) {
        const QString text = warnings.join("\n");
        qDebug().noquote() << "WARNING : " + QString("File import Warning") + " : " + text;
        m_infoError->setTexts("File import Warning", text);
        m_infoError->setStateWarning();
        refreshErrorOverlay();
        stopMessageTimer();
        showErrorOverlay(true);
        updateIfPaused();
    }

    PanelAudioMap_MappingChange();
    refreshMenuActions();
    if (rendererHasResources()) {
        refreshInformationOverlay();
        refreshErrorOverlay();
        if (!startup) {
            if (movieImported) refreshPauseFrame(0);
            else updateIfPaused();
        }
    }
    refreshInOutPoints(true);
}
