#include "tools/dialog_analyse.h"

#include <QDebug>

#include "base/settings/global_settings.h"
#include "movie/file_to_play.h"
#include "tools/test_hap_file_process_task.h"
#include "tools/view_progress_task.h"
#include "ui/view_checkbox.h"
#include "ui/view_label.h"
#include "ui/view_text_scrollable.h"

namespace {

// Stopped, finished, finished with warnings or failed: the run will not go on.
bool isEnded(uint32_t state) { return state >= ProcessTaskState_Stop; }

}  // namespace

DialogAnalyse::DialogAnalyse(QWidget* parent)
    : BaseTaskDialog(parent, QRect(0, 0, 600, 550), QStringLiteral("File Test"), QStringLiteral("TestReport.txt"),
                     QStringLiteral("Save File test results")) {
    m_resultsLabel = new ViewLabel(this, QRect(10, 235, 80, 20), QStringLiteral("Results :"), 2);
    m_report = new ViewTextScrollable(this, QRect(10, 265, 580, 245));
    m_paramsLabel = new ViewLabel(this, QRect(10, 10, 100, 20), QStringLiteral("Parameters :"), 2);
    m_warnChunks = new ViewCheckbox(this, QRect(10, 40, 250, 20), QStringLiteral("Warn inconsistent chunk count"), 0, 0);
    m_warnChunks->setToolTip(QStringLiteral("If checked, log frame who have different chunk count"));
    m_warnChunks->setChecked(true);
    followProgressRow(new ViewProgressTask(this, QRect(10, 80, 260, 120), QStringLiteral("NoUUID")));
    // A test of a long movie goes on while the window is closed to watch the movie.
    m_stopOnClose = false;
    m_report->clear();
    layoutButtons();
}

void DialogAnalyse::layoutButtons() {
    BaseDialog::layoutButtons();
    if (!m_report) return;  // called by the base before the views exist
    m_paramsLabel->setGeometry(10, 10, 100, 20);
    m_warnChunks->setGeometry(10, 40, 250, 20);
    m_progress->setGeometry(10, 80, 260, 120);
    m_resultsLabel->setGeometry(10, 235, 80, 20);
    int h = height() - 305;
    if (h < 20) {
        qDebug().noquote() << "Invalid height dialog";
        h = 20;
    }
    m_report->setGeometry(10, 265, width() - 20, h);
}

void DialogAnalyse::setFile(FileToPlay* movie, AllAudioSrcTracks* /*tracks*/, GlobalSettings* settings) {
    // Shown again for the movie its test runs on: the run so far stays on show until
    // its end has been seen. The guarded pointer is null once that movie is closed, so
    // a movie opened later (even at the same address, even from the same file) starts
    // a new report.
    const BaseProcessTask* running = currentTask();
    if (movie && running && m_movie.data() == movie && (!isEnded(running->publicState()) || m_endUnseen)) {
        m_endUnseen = false;
        m_settings = settings;
        return;
    }
    m_endUnseen = false;
    // A previous test ends first, so none of its lines can reach the new report.
    dropTask();
    m_report->clear();
    m_progress->resetProgress();
    m_progress->updateState(ProcessTaskState_Idle);
    m_logLines = 0;
    m_settings = settings;
    const GlobalSettings& stored = settings ? *settings : GlobalSettings::defaults();
    m_warnChunks->setChecked(stored.switchValue(GlobalSettings::Switch_FileTestWarnChunks));

    m_movie = movie;
    if (!movie) {
        m_report->appendText(QStringLiteral("No file Load.\n"), false);
        return;
    }

    QStringList lines;
    if (movie->isVariableFps()) {
        MovFile* mov = nullptr;
        movie->movFile(&mov);
        lines.append(QStringLiteral("WARNING : Variable fps"));
        if (mov->droppedSamples > 0) lines.append(QStringLiteral("Frames drop : %1").arg(mov->droppedSamples));
        if (mov->duplicatedFrames > 0) lines.append(QStringLiteral("Frames duplicate : %1").arg(mov->duplicatedFrames));
    }
    const QStringList warnings = movie->warningsText();
    if (!warnings.isEmpty()) {
        lines.append(QStringLiteral("Mov error :"));
        for (const QString& warning : warnings) lines.append(QStringLiteral("    %1").arg(warning));
    }
    if (!movie->isMultipleOf4()) lines.append(QStringLiteral("WARNING : Not multiple 4 resolution"));
    if (!lines.isEmpty()) {
        lines.append(QString());  // the block ends with a line feed
        m_report->appendLines(lines, true);
    }
}

TestHapFileProcessTask* DialogAnalyse::task() const { return static_cast<TestHapFileProcessTask*>(currentTask()); }

BaseProcessTask* DialogAnalyse::createTask() {
    auto* task = new TestHapFileProcessTask(this, m_movie.data());
    task->setWarnChunksState(m_warnChunks->isChecked());
    return task;
}

QString DialogAnalyse::reportHeader() const { return QStringLiteral("Video frames Test :\n\n"); }

void DialogAnalyse::appendTaskLogs(const QStringList& lines) {
    m_logLines += uint32_t(lines.size());
    BaseTaskDialog::appendTaskLogs(lines);
}

void DialogAnalyse::taskStateChanged(uint32_t state) {
    if (isEnded(state) && !isVisible()) m_endUnseen = true;
}

void DialogAnalyse::close_dialog_ok() {
    if (m_settings) m_settings->setSwitch(GlobalSettings::Switch_FileTestWarnChunks, m_warnChunks->isChecked());
    BaseDialog::close_dialog_ok();
}

QString DialogAnalyse::saveFailedText(const QString&) const {
    return QStringLiteral("Fail to save the results file");
}
