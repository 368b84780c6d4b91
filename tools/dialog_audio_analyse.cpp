#include "tools/dialog_audio_analyse.h"

#include <QDebug>

#include <cmath>
#include <cstdio>

#include "base/settings/global_settings.h"
#include "audio/all_audio_src_tracks.h"
#include "base/pcm/channel_layouts.h"
#include "movie/file_to_play.h"
#include "tools/player_audio_analyse_task.h"
#include "tools/view_progress_task.h"
#include "tools/view_result_rows.h"
#include "ui/view_checkbox.h"
#include "ui/view_label.h"
#include "ui/view_text_scrollable.h"

namespace {

// Two decimals of the value as single precision, as the rows show it.
QString result_number(double value) { return QString::number(float(value), 'f', 2); }

uint32_t point_for_task(int32_t point) { return point < 0 ? kAudioAnalysePointUnset : uint32_t(point); }

}  // namespace

DialogAudioAnalyse::DialogAudioAnalyse(QWidget* parent, GlobalSettings* settings)
    : BaseTaskDialog(parent, QRect(0, 0, 700, 800), QStringLiteral("Audio analyse"),
                     QStringLiteral("AudioAnalyse.txt"), QStringLiteral("Save Audio Analyse results")),
      m_settings(settings) {
    m_traceButtons = true;
    // Its task reads with readers of its own from a routing copied when it is made, and
    // one step of it (ten seconds of every channel, resampled whole) can take seconds:
    // the stop button and closing must not wait for that step to end.
    m_stopWithoutWaiting = true;

    m_useRange = new ViewCheckbox(this, QRect(20, 25, 660, 25), QStringLiteral("Use In/Out Range"), 0, 0);
    const GlobalSettings& stored = settings ? *settings : GlobalSettings::defaults();
    m_useRange->setChecked(stored.switchValue(GlobalSettings::Switch_AudioAnalyseUseInOutRange));
    followProgressRow(new ViewProgressTask(this, QRect(50, 60, 260, 120), QString()));
    m_resultsLabel = new ViewLabel(this, QRect(20, 185, 660, 25), QStringLiteral("Results :"), 8);
    m_loudnessLabel = new ViewLabel(this, QRect(20, 215, 660, 25), QStringLiteral("Integrated Loudness :"), 5);
    m_peaksLabel = new ViewLabel(this, QRect(20, 245, 660, 25), QStringLiteral("True Peaks :"), 5);
    m_report = new ViewTextScrollable(this, QRect(10, 300, 680, 455));

    layoutButtons();
}

QString DialogAudioAnalyse::layoutName(uint32_t layout) {
    switch (layout) {
        case NAudioChannelLayout_Mono: return QStringLiteral("Mono");
        case NAudioChannelLayout_Stereo: return QStringLiteral("Stereo");
        case NAudioChannelLayout_5_1: return QStringLiteral("5.1 LRCLfeLsRs");
        case NAudioChannelLayout_DualStereo: return QStringLiteral("Dual Stereo");
        case NAudioChannelLayout_7_1: return QStringLiteral("7.1 LRCLfeLssRssLrsRrs");
        default: std::printf("ERR : Unknown audio channel layout : %u\n", layout); return QStringLiteral("Unknown");
    }
}

QStringList DialogAudioAnalyse::peakTitles(uint32_t layout) {
    switch (layout) {
        case NAudioChannelLayout_Mono: return {QStringLiteral("C")};
        case NAudioChannelLayout_Stereo: return {QStringLiteral("L"), QStringLiteral("R")};
        case NAudioChannelLayout_5_1: return {"L", "R", "C", "Lfe", "Ls", "Rs"};
        case NAudioChannelLayout_DualStereo: return {"L1", "R1", "L2", "R2"};
        case NAudioChannelLayout_7_1: return {"L", "R", "C", "Lfe", "Lss", "Rss", "Lrs", "Rrs"};
        default: return {};
    }
}

void DialogAudioAnalyse::clearRows() {
    for (ViewAudioAnalyseResults* row : m_loudnessRows) delete row;
    for (ViewAudioAnalyseResults* row : m_peakRows) delete row;
    m_loudnessRows.clear();
    m_peakRows.clear();
}

void DialogAudioAnalyse::setTracks(FileToPlay* movie, AllAudioSrcTracks* tracks) {
    m_movie = movie;
    m_tracks = tracks;
    m_layout = tracks ? tracks->outputLayout() : NAudioChannelLayout_Stereo;
    clearRows();
    if (m_layout == NAudioChannelLayout_DualStereo) {
        for (const char* title : {"Stereo 1", "Stereo 2"}) {
            auto* row = new ViewAudioAnalyseResults(this, QRect(70, 0, 610, 25), ViewAudioAnalyseResults::Kind_Integrated);
            row->setTitle(QString::fromLatin1(title));
            row->show();
            m_loudnessRows.append(row);
        }
    } else {
        auto* row = new ViewAudioAnalyseResults(this, QRect(70, 0, 610, 25), ViewAudioAnalyseResults::Kind_Integrated);
        row->setTitle(QString());
        row->show();
        m_loudnessRows.append(row);
    }
    for (const QString& title : peakTitles(m_layout)) {
        auto* row = new ViewAudioAnalyseResults(this, QRect(70, 0, 610, 25), ViewAudioAnalyseResults::Kind_TruePeak);
        row->setTitle(title);
        row->show();
        m_peakRows.append(row);
    }
    layoutButtons();
}

void DialogAudioAnalyse::setRange(int32_t inPoint, int32_t outPoint) {
    m_inPoint = inPoint;
    m_outPoint = outPoint;
    if (inPoint == -1 && outPoint == -1) {
        m_useRange->setChecked(false);
        m_useRange->disable();
    }
}

void DialogAudioAnalyse::layoutButtons() {
    BaseDialog::layoutButtons();
    if (!m_report) return;  // called by the base before the views exist
    const int w = width();
    const int h = height();
    m_useRange->setGeometry(20, 25, w - 40, 25);
    m_progress->move(50, 60);
    const int p = m_progress->height();
    m_resultsLabel->setGeometry(20, p + 65, w - 40, 25);
    m_loudnessLabel->setGeometry(20, p + 95, w - 40, 25);
    int y = p + 125;
    for (ViewAudioAnalyseResults* row : m_loudnessRows) {
        row->setGeometry(70, y, w - 90, 25);
        row->layoutLabels();
        y += 30;
    }
    m_peaksLabel->setGeometry(20, y, w - 40, 25);
    y += 30;
    for (ViewAudioAnalyseResults* row : m_peakRows) {
        row->setGeometry(70, y, w - 90, 25);
        row->layoutLabels();
        y += 30;
    }
    const int top = y + 20;
    m_report->setGeometry(10, top, w - 20, std::max(20, h - top - 45));
}

PlayerAudioAnalyseTask* DialogAudioAnalyse::task() const {
    return static_cast<PlayerAudioAnalyseTask*>(currentTask());
}

BaseProcessTask* DialogAudioAnalyse::createTask() {
    if (!m_movie || !m_tracks) {
        m_report->appendText(QStringLiteral("No input file, or no audio tracks\n\n"), false);
        return nullptr;
    }
    int32_t in = -1, out = -1;
    if (m_useRange->isChecked()) {
        in = m_inPoint;
        out = m_outPoint;
    }
    return new PlayerAudioAnalyseTask(this, m_movie.data(), m_tracks.data(), point_for_task(in), point_for_task(out),
                                      1, 1, 1);
}

QString DialogAudioAnalyse::reportHeader() const {
    const QStringList header = {QStringLiteral("Filepath : %1").arg(m_movie->filePath()),
                                QStringLiteral("Audio Layout : %1").arg(layoutName(m_layout))};
    return QStringLiteral("Audio analyse\n\n") + header.join(QLatin1Char('\n'));
}

void DialogAudioAnalyse::writeResults() {
    m_report->appendText(QStringLiteral("\nResults\n"), false);
    const PlayerAudioAnalyseTask* analysis = task();
    const bool silent = analysis->isSilent();
    double loudness[2];
    double peaks[8];
    analysis->integratedLoudness(loudness);
    analysis->truePeaks(peaks);

    QStringList lines{QStringLiteral("Integrated Loudness :")};
    for (int i = 0; i < m_loudnessRows.size() && i < 2; ++i) {
        ViewAudioAnalyseResults* row = m_loudnessRows[i];
        row->setResults(loudness[i], silent);
        const QString title = i == 0 && m_loudnessRows.size() == 1 ? QString() : QStringLiteral("Stereo %1").arg(i + 1);
        if (title.isEmpty())
            lines.append(silent ? QStringLiteral("Silent tracks") : QStringLiteral("%1 LUFS").arg(result_number(loudness[i])));
        else
            lines.append(silent ? QStringLiteral("%1 : Silent tracks").arg(title)
                                : QStringLiteral("%1 : %2 LUFS").arg(title, result_number(loudness[i])));
    }
    lines.append(QString());
    lines.append(QStringLiteral("True Peaks :"));
    const QStringList titles = peakTitles(m_layout);
    for (int j = 0; j < m_peakRows.size() && j < 8; ++j) {
        const bool channelSilent = std::isinf(peaks[j]);
        m_peakRows[j]->setResults(peaks[j], channelSilent);
        lines.append(channelSilent ? QStringLiteral("%1 : Silent channel").arg(titles[j])
                                   : QStringLiteral("%1 : %2 dbTP").arg(titles[j], result_number(peaks[j])));
    }
    m_report->appendText(lines.join(QLatin1Char('\n')), false);
}

void DialogAudioAnalyse::close_dialog_ok() {
    qDebug().noquote() << "stop_process";
    stopTaskOnRequest();
    if (m_settings && (m_inPoint != -1 || m_outPoint != -1))
        m_settings->setSwitch(GlobalSettings::Switch_AudioAnalyseUseInOutRange, m_useRange->isChecked());
    BaseDialog::close_dialog_ok();
}
