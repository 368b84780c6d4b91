#pragma once
// An opened fixture movie with its audio sources as the main window builds them, and
// a record of what a loudness task sent, for the task and dialog tests.
#include <QList>
#include <QStringList>
#include <QTest>

#include <memory>
#include <string>

#include "audio/all_audio_src_tracks.h"
#include "movie/file_to_play.h"
#include "tests/support/test_movies.h"
#include "ui/base_process_task.h"

struct LoudnessMovie {
    std::unique_ptr<FileToPlay> movie;
    std::unique_ptr<AllAudioSrcTracks> tracks;

    explicit LoudnessMovie(const std::string& name, uint32_t layout = 1)
        : LoudnessMovie(AtPath{QString::fromStdString(testsupport::fixture_path(name))}, layout) {}
    // A movie anywhere (a fixture copied under another name).
    struct AtPath {
        QString path;
    };
    explicit LoudnessMovie(const AtPath& at, uint32_t layout = 1)
        : movie(std::make_unique<FileToPlay>(at.path)), tracks(std::make_unique<AllAudioSrcTracks>()) {
        tracks->addTracks(movie->createAudioTracks());
        // As the import does: two stereo tracks make Dual Stereo, the second on L2 R2.
        tracks->autoSelectLayout();
        if (tracks->outputLayout() != layout) tracks->setOutputLayout(layout);
    }
    ~LoudnessMovie() {
        if (tracks) tracks->deleteAll();
    }
};

// Everything a task sent: its log lines and its states, in order.
struct LoudnessTaskRun {
    QStringList logs;
    QList<uint32_t> states;
    uint32_t endState() const { return states.isEmpty() ? 0 : states.last(); }
    bool ended() const {
        const uint32_t s = endState();
        return s == 4 || s == 5 || s >= 6;
    }
};

inline void listen_to(BaseProcessTask& task, LoudnessTaskRun& run) {
    QObject::connect(&task, &BaseProcessTask::processTask_have_new_logs, &task,
                     [&run](const QStringList& lines, const QString&) { run.logs += lines; });
    QObject::connect(&task, &BaseProcessTask::processTask_update_state, &task,
                     [&run](const ProcessingStateObj& s, const QString&) { run.states.append(s.state); });
}

// Waits (events running) until the task has ended; false after 20 s.
inline bool wait_end(const LoudnessTaskRun& run) { return QTest::qWaitFor([&run] { return run.ended(); }, 20000); }
