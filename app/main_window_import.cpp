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
#include "media/movie/file_to_play.h"
#include "media/movie/frame_compressed_buffer.h"
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
    if (fileTestDialog_) fileTestDialog_->stopTask();
    if (audioAnalyseDialog_) audioAnalyseDialog_->stopTask();
    if (benchmarkDialog_) benchmarkDialog_->stopTask();
}

void MainWindow::loadFile(const QStringList& files, int32_t visible_index, bool startup) {
    // A tool's task may read the open movie or its tracks, which this import may free:
    // every running task is stopped (and waited for) first, and the tool windows hold
    // the movie through guarded pointers.
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
        switches.codecWarning = settings_->codecWarningText(opened->codec());
        switches.notMultiple4 = settings_->warn_about_not_multiple_4;
        switches.variableFps = settings_->warn_about_variable_fps;
        switches.highBitrate = settings_->warn_about_high_bitrate;
        switches.bitrateLimit = settings_->warn_bitrate_limit;
        switches.bitrateInBits = settings_->ui_bitrate_unit_bits;
        warnings = import_movie_warnings(*opened, switches);
        movieTracks.tracks = opened->createAudioTracks();
    }

    // Audio files: the ones given, or the companions of a new movie without sound.
    QStringList audioPaths = paths.audio;
    if (audioPaths.isEmpty() && opened && settings_->import_auto_load_wave_files) {
        bool playable = false;
        for (AudioSrcTrack* track : movieTracks.tracks) playable = playable || track->isPlayable();
        if (!playable) audioPaths = import_companion_wav_files(paths.movie);
    }
    if (!audioPaths.isEmpty() && !opened && !movie_) {
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
    if (sourceBuffer_) {
        stopAudio();
        sourceBuffer_->releaseTracks();
    }
    if (opened) {
        delete movie_;
        movie_ = opened.release();
        movieImported = true;
        currentFrame_ = 0;
        tracks_->deleteAll();
        visible_index = -1;
        const QList<AudioSrcTrack*> own = movieTracks.release();
        if (!own.isEmpty()) {
            tracks_->addTracks(own);
            uint32_t unsupported = 0;
            for (AudioSrcTrack* track : own)
                if (!track->isPlayable()) ++unsupported;
            if (settings_->warn_about_unsupported_audio && unsupported > 0)
                warnings.append(import_unsupported_audio_text(unsupported));
        }
        bottomCtrl_->setControlsEnabled(true);
        setWindowTitle(QString("%1 : %2").arg(kTitleWithFile, paths.movie));
        progressBar_->setFrameCount(movie_->frameCount());
        inOutPoint_->setFrameCount(movie_->frameCount());
        uint32_t numerator = 0;
        uint32_t denominator = 1;
        movie_->fpsRational(&numerator, &denominator);
        ViewEditableTimeSpendTotal* time = bottomCtrl_->timeDisplay();
        time->setRate(numerator, denominator);
        time->setTotal(movie_->frameCount());
        time->setLimits(movie_->timecodeStartFrame(), movie_->isDropFrameTimecode());
        if (VulkanWinRenderer* r = renderer()) r->allocVideoTextures(movie_);
        frameQueue_->setFile(movie_);
        if (VulkanWinRenderer* r = renderer()) {
            r->zoomFit();
            r->refresh();
        }
    }

    if (!audioPaths.isEmpty() && audioError.isEmpty()) {
        if (settings_->mute_embed_audio_tracks_when_adding_wav) tracks_->clearMovieTrackMappings();
        tracks_->insertTracksAt(wavTracks.release(), visible_index);
    }
    tracks_->autoSelectLayout();

    if (!audioError.isEmpty()) {
        displayErrorInfo("Wav file import error", audioError);
    } else if (!warnings.isEmpty()) {
        const QString text = warnings.join("\n");
        qDebug().noquote() << "WARNING : " + QString("File import Warning") + " : " + text;
        infoError_->setTexts("File import Warning", text);
        infoError_->setStateWarning();
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
