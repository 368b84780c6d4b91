#pragma once
// DialogAudioAnalyse: the modal "Audio analyse" window. It runs the EBU R128 analysis
// of the movie's routed audio (PlayerAudioAnalyseTask) over the whole movie or the
// in/out range, shows the integrated loudness (one row, two for Dual Stereo) and the
// true peak of every output channel, writes the text report and saves it.
//
// The main window builds a new one on each use, then calls setTracks and setRange.
// The movie and the track list are not owned and are held through guarded pointers;
// the task copies the routing when it is created, so a track list changed or deleted
// meanwhile never reaches the running analysis. The task is owned (child object) and
// stopped when the dialog closes by any way (Close, Escape, window close) and on
// destruction. The stop button, closing and the main window's stop before an import or
// a track deletion do not wait for the reading step under way to end: the window
// answers at once and the run ends stopped a moment later, which its state signal
// reports; the task then belongs to the main window until it has ended, so a dialog
// replaced meanwhile does not wait either. Only the current task's signals reach the
// report. A save that cannot write its file says so. GUI thread only.
#include "tools/base_task_dialog.h"

#include <QList>
#include <QPointer>
#include <QStringList>

#include <cstdint>

class AllAudioSrcTracks;
class FileToPlay;
class GlobalSettings;
class PlayerAudioAnalyseTask;
class ViewAudioAnalyseResults;
class ViewCheckbox;
class ViewLabel;
class ViewTextScrollable;

class DialogAudioAnalyse : public BaseTaskDialog {
    Q_OBJECT
public:
    DialogAudioAnalyse(QWidget* parent, GlobalSettings* settings);

    // Keeps the movie and the sources and builds the result rows of their output layout.
    void setTracks(FileToPlay* movie, AllAudioSrcTracks* tracks);
    // In and out frame indexes, -1 when unset. Without either, the range box is
    // unchecked and disabled.
    void setRange(int32_t inPoint, int32_t outPoint);

    // "Mono", "Stereo", "5.1 LRCLfeLsRs", "Dual Stereo", "7.1 LRCLfeLssRssLrsRrs", else
    // "Unknown" (after a console line).
    static QString layoutName(uint32_t layout);
    // The true-peak row titles of a layout ("L", "R", ...); none for an unknown layout.
    static QStringList peakTitles(uint32_t layout);

    ViewTextScrollable* reportView() const { return m_report; }
    ViewCheckbox* rangeBox() const { return m_useRange; }
    const QList<ViewAudioAnalyseResults*>& loudnessRows() const { return m_loudnessRows; }
    const QList<ViewAudioAnalyseResults*>& peakRows() const { return m_peakRows; }
    PlayerAudioAnalyseTask* task() const;

public slots:
    void close_dialog_ok() override;
    void layoutButtons() override;

protected:
    BaseProcessTask* createTask() override;
    QString reportHeader() const override;
    void writeResults() override;

private:
    void clearRows();

    ViewCheckbox* m_useRange = nullptr;
    ViewLabel* m_resultsLabel = nullptr;
    ViewLabel* m_loudnessLabel = nullptr;
    QList<ViewAudioAnalyseResults*> m_loudnessRows;
    ViewLabel* m_peaksLabel = nullptr;
    QList<ViewAudioAnalyseResults*> m_peakRows;
    QPointer<AllAudioSrcTracks> m_tracks;
    uint32_t m_layout = 1;
    int32_t m_inPoint = -1;
    int32_t m_outPoint = -1;
    GlobalSettings* m_settings = nullptr;
};
