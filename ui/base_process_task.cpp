#include "ui/base_process_task.h"

#include "ui/delay_action.h"

#include <QDebug>
#include <QMutexLocker>
#include <QThread>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <new>

namespace {

constexpr uint32_t kLogDelayMs = 1000;
constexpr uint32_t kProgressDelayMs = 500;
constexpr unsigned long kPausePollMs = 200;

// 100 at or past the end, 0 at or before the start, else the rounded percentage.
uint32_t percent_of(double fraction) {
    if (fraction >= 1.0)
        return 100;
    if (fraction <= 0.0 || std::isnan(fraction))
        return 0;
    return uint32_t(std::lround(float(fraction * 100.0)));
}

}  // namespace

BaseProcessTask::BaseProcessTask(QObject* parent) : QObject(parent) {
    qRegisterMetaType<ProgressTaskInfo>();
    qRegisterMetaType<ProcessingStateObj>();
    m_uuid = QUuid::createUuid().toString();
    m_progressEmitter = new DelayAction(this, kProgressDelayMs);
    m_logEmitter = new DelayAction(this, kLogDelayMs);
    connect(m_progressEmitter, &DelayAction::end_action, this, &BaseProcessTask::act_delay_update_progress);
    connect(m_logEmitter, &DelayAction::end_action, this, &BaseProcessTask::act_delay_update_logs);
}

BaseProcessTask::~BaseProcessTask() {
    stop();
    if (m_thread && QThread::currentThread() != m_thread.get())
        m_thread->wait();
    m_thread.reset();
}

void BaseProcessTask::start() {
    stop();
    if (m_thread) {
        m_thread->wait();
        m_thread.reset();
    }
    m_running.store(true);
    setState(ProcessTaskState_Running);
    m_thread.reset(QThread::create([this] { runBody(); }));
    m_thread->setObjectName(QStringLiteral("process task"));
    m_thread->start();
}

bool BaseProcessTask::askStopLocked() {
    // A body that has already set its end state is only waited for: a stop landing in
    // its last moments must not turn a finished run into a stopped one.
    if (m_runState.load() >= ProcessTaskState_Stopped)
        return true;
    m_cancel.store(true);
    m_publicState.store(ProcessTaskState_Stop);
    m_stateChanged.wakeAll();
    return false;
}

void BaseProcessTask::requestStop() {
    if (!m_running.load())
        return;
    QMutexLocker lock(&m_mutex);
    askStopLocked();
}

void BaseProcessTask::deleteWhenEnded() {
    requestStop();
    if (m_thread && !m_thread->isFinished()) {
        // Emitted on the body's thread as it ends: the deletion is queued to ours.
        connect(m_thread.get(), &QThread::finished, this, &QObject::deleteLater);
        // A body that ended before the connection made no call; a second request
        // after one that did is harmless.
        if (!m_thread->isFinished())
            return;
    }
    deleteLater();
}

void BaseProcessTask::stop() {
    if (!m_running.load())
        return;
    bool ended = false;
    {
        QMutexLocker lock(&m_mutex);
        ended = askStopLocked();
    }
    if (m_thread && QThread::currentThread() != m_thread.get())
        m_thread->wait();
    m_running.store(false);
    if (ended)
        return;
    QMutexLocker lock(&m_mutex);
    // One end per run: a body that was already past its last check when the stop came
    // has ended on its own (finished or failed) and sent that state, which stays.
    if (m_runState.load() < ProcessTaskState_Stop) {
        m_runState.store(ProcessTaskState_Stop);
        m_publicState.store(ProcessTaskState_Stop);
    }
}

void BaseProcessTask::requestPause() {
    QMutexLocker lock(&m_mutex);
    if (m_cancel.load())
        return;
    m_publicState.store(ProcessTaskState_Pause);
}

void BaseProcessTask::requestResume() {
    QMutexLocker lock(&m_mutex);
    if (m_cancel.load())
        return;
    m_publicState.store(ProcessTaskState_Running);
    m_stateChanged.wakeAll();
}

uint32_t BaseProcessTask::publicState() const {
    QMutexLocker lock(&m_mutex);
    return m_publicState.load();
}

void BaseProcessTask::setState(uint32_t s) {
    {
        QMutexLocker lock(&m_mutex);
        m_runState.store(s);
        // A requested stop shows over running and paused, never over an end.
        m_publicState.store(m_cancel.load() && s < ProcessTaskState_Stop ? uint32_t(ProcessTaskState_Stop) : s);
    }
    emit processTask_update_state(ProcessingStateObj{s}, m_uuid);
}

double BaseProcessTask::closeSegmentLocked() {
    if (!m_segment.isValid())
        return 0.0;
    const double seconds = std::max<double>(0.0, double(m_segment.elapsed()) / 1000.0);
    m_segment.invalidate();
    return seconds;
}

void BaseProcessTask::startStep(uint32_t step) {
    m_currentStep.store(step);
    if (!m_signalMode) {
        QString name;
        {
            QMutexLocker lock(&m_mutex);
            if (step < uint32_t(m_stepNames.size()))
                name = m_stepNames.at(step);
        }
        if (name.isNull()) {
            qDebug("Unknown step : %u", step);
            name = QStringLiteral("Step %1").arg(step);
        }
        printLine("INFO : Start step : " + name.toLocal8Bit() + "\n");
        printLine("PROGRESS : 0 %\n");
        m_lastPrintedPercent.store(0);
    }
    m_progressEmitter->trigger();
    QMutexLocker lock(&m_mutex);
    // The step before this one is closed into the total, so its time still counts
    // in the elapsed time and the rate of the whole task.
    m_totalSeconds += m_stepSeconds + closeSegmentLocked();
    m_segment.start();
    m_stepSeconds = 0.0;
    m_progress = 0.0f;
}

void BaseProcessTask::updateProgress(float fraction) {
    if (m_signalMode) {
        {
            QMutexLocker lock(&m_mutex);
            m_progress = fraction;
        }
        m_progressEmitter->trigger();
        return;
    }
    // Console lines never show 100 before finish; a negative fraction shows 0.
    const float scaled = fraction * 100.0f;
    const long rounded = std::isnan(scaled) ? 0 : std::lround(std::clamp(scaled, -1.0f, 100.0f));
    const uint32_t p = uint32_t(std::clamp<long>(rounded, 0, 99));
    if (m_lastPrintedPercent.exchange(p) != p)
        printLine(QByteArray("PROGRESS : ") + QByteArray::number(p) + " %\n");
}

void BaseProcessTask::updateProgressFrames(uint32_t frame) {
    const uint32_t count = stepFrameCount();
    if (count == 0) {
        qDebug().noquote() << "Error: update progress without frame duration";
        return;
    }
    updateProgress(frame == 0 ? 0.0f : float(frame) / float(count));
}

void BaseProcessTask::appendLog(const QString& line) {
    {
        QMutexLocker lock(&m_mutex);
        m_logs.append(line);
    }
    m_logEmitter->trigger();
}

void BaseProcessTask::appendLogs(const QStringList& lines) {
    if (lines.isEmpty())
        return;
    {
        QMutexLocker lock(&m_mutex);
        m_logs.append(lines);
    }
    m_logEmitter->trigger();
}

bool BaseProcessTask::continueAfterPause() {
    uint32_t state = publicState();
    if (state == ProcessTaskState_Pause) {
        setState(ProcessTaskState_Pause);
        waitWhilePaused();
        state = publicState();
    }
    if (state == ProcessTaskState_Stop || state == ProcessTaskState_Stopped) {
        setState(ProcessTaskState_Stop);
        return false;
    }
    return true;
}

void BaseProcessTask::logProcessError() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        std::printf("ERREUR : process file : memory error\n");
        appendLog(QStringLiteral("ERREUR : Fail to process, memory error"));
    } catch (const std::exception& error) {
        std::printf("ERREUR : process file : %s\n", error.what());
        appendLog(QStringLiteral("ERREUR : Fail to process : %1").arg(QString::fromLocal8Bit(error.what())));
    } catch (...) {
        std::printf("ERREUR : process file : unknown error\n");
        appendLog(QStringLiteral("ERREUR : Fail to process, unknown error"));
    }
}

void BaseProcessTask::waitWhilePaused() {
    QMutexLocker lock(&m_mutex);
    m_stepSeconds += closeSegmentLocked();
    // Woken at once by a resume or a stop; the timeout only bounds a missed wake.
    for (;;) {
        if (m_cancel.load())
            return;
        if (m_publicState.load() != ProcessTaskState_Pause)
            break;
        m_stateChanged.wait(&m_mutex, kPausePollMs);
    }
    lock.unlock();
    setState(ProcessTaskState_Running);
    lock.relock();
    m_segment.start();
}

QStringList BaseProcessTask::takeLogs() {
    QMutexLocker lock(&m_mutex);
    const qsizetype from = qsizetype(m_deliveredLogs.load());
    QStringList lines = from < m_logs.size() ? m_logs.mid(from) : QStringList();
    m_deliveredLogs.store(uint32_t(m_logs.size()));
    return lines;
}

void BaseProcessTask::finish(bool failed, bool withWarnings) {
    {
        QMutexLocker lock(&m_mutex);
        m_totalSeconds += m_stepSeconds + closeSegmentLocked();
        m_stepSeconds = 0.0;
    }
    m_logEmitter->cancelAndWait();
    m_progressEmitter->cancelAndWait();

    const uint32_t state = m_runState.load();
    if (state == ProcessTaskState_Running) {
        if (failed) {
            setState(ProcessTaskState_Failed);
        } else {
            {
                QMutexLocker lock(&m_mutex);
                m_framesDone = uint64_t(std::max<int64_t>(0, m_totalFrames));
            }
            setState(withWarnings ? ProcessTaskState_FinishedWithWarnings : ProcessTaskState_Finished);
        }
    } else if (state != ProcessTaskState_Stop && state != ProcessTaskState_Stopped) {
        qDebug("ERROR : Invalid end state : %lu", (unsigned long)state);
    }

    const QStringList lines = takeLogs();
    if (!lines.isEmpty())
        emit processTask_have_new_logs(lines, m_uuid);

    int64_t totalFrames = 0;
    uint64_t framesDone = 0;
    double totalSeconds = 0.0;
    {
        QMutexLocker lock(&m_mutex);
        totalFrames = m_totalFrames;
        framesDone = m_framesDone;
        totalSeconds = m_totalSeconds;
    }
    ProgressTaskInfo info;
    if (totalFrames != 0 && totalSeconds != 0.0) {
        info.percent = framesDone == uint64_t(totalFrames) ? 100 : percent_of(double(framesDone) / double(totalFrames));
        info.elapsedSeconds = totalSeconds > 0.0 ? totalSeconds : 0.0;
        info.elapsedText = totalSeconds > 0.0 ? formatDuration(totalSeconds) : QStringLiteral("-");
        info.remainingText = QStringLiteral("-");
        info.fpsText = totalSeconds > 0.0
            ? QStringLiteral("%1 f/s").arg(QString::number(double(framesDone) / totalSeconds, 'f', 2))
            : QStringLiteral("-");
        info.step = 0;
    } else {
        info = makeProgressInfo();
    }
    if (m_signalMode) {
        emit processTask_update_progress(info, m_uuid);
    } else {
        printLine("PROGRESS : 100 %\n");
        m_lastPrintedPercent.store(100);
    }
    m_running.store(false);
}

void BaseProcessTask::setStepFrameCount(uint32_t frames) {
    QMutexLocker lock(&m_mutex);
    m_stepFrameCount = frames;
}

uint32_t BaseProcessTask::stepFrameCount() const {
    QMutexLocker lock(&m_mutex);
    return m_stepFrameCount;
}

void BaseProcessTask::setTotalFrames(int64_t frames) {
    QMutexLocker lock(&m_mutex);
    m_totalFrames = frames;
}

void BaseProcessTask::setFramesDone(uint64_t frames) {
    QMutexLocker lock(&m_mutex);
    m_framesDone = frames;
}

ProgressTaskInfo BaseProcessTask::makeProgressInfo() const {
    QMutexLocker lock(&m_mutex);
    double stepSeconds = m_stepSeconds;
    if (m_runState.load() == ProcessTaskState_Running && m_segment.isValid())
        stepSeconds += std::max<double>(0.0, double(m_segment.elapsed()) / 1000.0);
    return makeProgressInfo(m_progress, m_totalSeconds, stepSeconds, m_stepFrameCount, m_currentStep.load());
}

ProgressTaskInfo BaseProcessTask::makeProgressInfo(float progress, double totalSeconds, double stepSeconds,
                                                   uint32_t stepFrameCount, uint32_t step) {
    ProgressTaskInfo info;
    info.percent = percent_of(progress);
    double remaining = 0.0;
    if (stepSeconds > 0.0 && progress > 0.0f && progress < 1.0f)
        remaining = (1.0 - double(progress)) * stepSeconds / double(progress);
    const double elapsed = double(float(totalSeconds)) + stepSeconds;
    if (elapsed > 0.0) {
        info.elapsedSeconds = elapsed;
        info.elapsedText = formatDuration(elapsed);
    } else {
        info.elapsedText = QStringLiteral("-");
    }
    if (remaining > 0.0) {
        info.remainingSeconds = remaining;
        info.remainingText = formatDuration(remaining);
    } else {
        info.remainingText = QStringLiteral("-");
    }
    if (stepFrameCount != 0 && progress > 0.0f && stepSeconds > 0.0) {
        const double fps = double(stepFrameCount) * double(progress) / stepSeconds;
        info.fpsText = QStringLiteral("%1 f/s").arg(QString::number(fps, 'f', 2));
    }
    info.step = step;
    return info;
}

QString BaseProcessTask::formatDuration(double seconds) {
    if (!(seconds >= 0.0))
        return QStringLiteral("NA");
    // Capped far beyond any task so the conversion stays defined.
    const uint64_t n = uint64_t(std::min<double>(float(seconds), 1e15));
    const uint64_t h = n / 3600;
    const uint64_t m = (n % 3600) / 60;
    const uint64_t s = n % 60;
    if (h > 0)
        return s == 0 ? QStringLiteral("%1h %2min").arg(h).arg(m) : QStringLiteral("%1h %2min %3s").arg(h).arg(m).arg(s);
    if (m > 0)
        return s == 0 ? QStringLiteral("%1min").arg(m) : QStringLiteral("%1min %2s").arg(m).arg(s);
    return QStringLiteral("%1s").arg(s);
}

void BaseProcessTask::setConsoleReport(bool console, std::FILE* out) {
    m_signalMode = !console;
    m_out = out ? out : stdout;
}

void BaseProcessTask::setStepNames(const QStringList& names) {
    QMutexLocker lock(&m_mutex);
    m_stepNames = names;
}

void BaseProcessTask::setEmitterDelays(uint32_t logsMs, uint32_t progressMs) {
    m_logEmitter->setDelay(logsMs);
    m_progressEmitter->setDelay(progressMs);
}

void BaseProcessTask::act_delay_update_logs() {
    const QStringList lines = takeLogs();
    if (!lines.isEmpty())
        emit processTask_have_new_logs(lines, m_uuid);
}

void BaseProcessTask::act_delay_update_progress() {
    emit processTask_update_progress(makeProgressInfo(), m_uuid);
}

void BaseProcessTask::coreProcessFunc() {
    qDebug().noquote() << "Warning base coreprocessfunc";
}

void BaseProcessTask::printLine(const QByteArray& line) {
    std::fputs(line.constData(), m_out);
    std::fflush(m_out);
}

void BaseProcessTask::runBody() {
    QString failure;
    try {
        coreProcessFunc();
        return;
    } catch (const std::bad_alloc&) {
        failure = QStringLiteral("ERREUR : Fail to process, memory error");
    } catch (const std::exception& e) {
        failure = QStringLiteral("ERREUR : Fail to process : %1").arg(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        failure = QStringLiteral("ERREUR : Fail to process, unknown error");
    }
    appendLog(failure);
    if (!m_running.load()) {
        // The body had already finished: its emitters are closed, send the line here.
        const QStringList lines = takeLogs();
        if (!lines.isEmpty())
            emit processTask_have_new_logs(lines, m_uuid);
        return;
    }
    if (m_runState.load() == ProcessTaskState_Pause) {
        QMutexLocker lock(&m_mutex);
        m_runState.store(ProcessTaskState_Running);
    }
    finish(true, false);
}
