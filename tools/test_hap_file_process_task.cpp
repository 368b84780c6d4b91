#include "tools/test_hap_file_process_task.h"

#include <QDebug>
#include <QDir>

#include <cstdio>
#include <exception>
#include <new>

#include "media/hap_file_checker.h"
#include "movie/file_to_play.h"

namespace {

const char* const kChunkNote = "(Occurs sometimes when snappy compression is useless)";

QString frame_error_line(uint32_t frame, uint32_t status) {
    const char* reason = "unknown error";
    if (status & HapCheckStatus_EmptyFrame)
        reason = "invalid frame";
    else if (status & HapCheckStatus_InvalidHeader)
        reason = "invalid frame header";
    else if (status & HapCheckStatus_InvalidTextureCount)
        reason = "invalid textures count";
    else if (status & HapCheckStatus_InvalidCodec)
        reason = "invalid codec";
    else if (status & HapCheckStatus_CorruptTexture)
        reason = "corrupt frame";
    return QStringLiteral("ERROR : Frame : %1 ; %2").arg(frame).arg(QLatin1String(reason));
}

}  // namespace

TestHapFileProcessTask::TestHapFileProcessTask(QObject* parent, FileToPlay* movie) : BaseProcessTask(parent) {
    if (!movie) return;
    m_hasMovie = true;
    const QString native = QDir::toNativeSeparators(movie->filePath());
    m_path.assign(reinterpret_cast<const char16_t*>(native.utf16()), size_t(native.size()));
}

TestHapFileProcessTask::~TestHapFileProcessTask() {
    // The body reads this object's members: it must end before they go.
    stop();
}

QStringList TestHapFileProcessTask::checkFrames(HapFileChecker* checker, const HapCheckResult* results,
                                                uint32_t count, bool warnChunks) {
    QStringList lines;
    for (uint32_t i = 0; i < count; ++i) {
        const HapCheckResult& r = results[i];
        if (r.status != HapCheckStatus_Valid) {
            ++checker->invalidFrames;
            lines.append(frame_error_line(r.frameIndex, r.status));
            continue;
        }
        ++checker->validFrames;
        if (checker->expectedChunkCount == 0xFFFFFFFF) checker->expectedChunkCount = r.chunkCounts[0];
        const uint8_t textures = uint8_t(r.textureCount);
        bool inconsistent = false;
        for (uint32_t t = 0; t < textures && t < 2; ++t) {
            const uint32_t found = r.chunkCounts[t];
            if (found == checker->expectedChunkCount) continue;
            inconsistent = true;
            if (!warnChunks) continue;
            if (textures == 1) {
                lines.append(QStringLiteral("WARNING : Frame : %1 ; Inconsistent Chunk count : %2 found, %3 expected %4")
                                 .arg(r.frameIndex)
                                 .arg(found)
                                 .arg(checker->expectedChunkCount)
                                 .arg(QLatin1String(kChunkNote)));
            } else {
                lines.append(QStringLiteral("WARNING : Frame : %1 ; for tex (%2) : %3 found, %4 expected")
                                 .arg(r.frameIndex)
                                 .arg(t)
                                 .arg(found)
                                 .arg(checker->expectedChunkCount));
            }
        }
        if (inconsistent) ++checker->inconsistentChunkFrames;
    }
    return lines;
}

void TestHapFileProcessTask::reviewJoined(HapFileChecker* checker, uint32_t firstSlot, uint32_t count) {
    appendLogs(checkFrames(checker, checker->results + firstSlot, count, m_warnChunks.load()));
    setFramesDone(checker->framesChecked);
    updateProgressFrames(checker->framesChecked);
}

void TestHapFileProcessTask::coreProcessFunc() {
    startStep(0);
    if (!m_hasMovie) {
        qDebug().noquote() << "ERROR : No input file";
        appendLog(QStringLiteral("ERROR : No input file"));
        finish(true, false);
        return;
    }

    HapFileChecker checker{};
    try {
        hap_file_checker_open(&checker, m_path.c_str());
    } catch (const std::bad_alloc&) {
        hap_file_checker_release(&checker);
        appendLog(QStringLiteral("ERREUR : Fail to initialize hap file tester (OOM)"));
        finish(true, false);
        return;
    } catch (const std::exception& e) {
        std::printf("ERREUR : Init tester faile : %s\n", e.what());
        std::fflush(stdout);
        hap_file_checker_release(&checker);
        appendLog(QStringLiteral("ERREUR : Fail to initialize hap file tester"));
        finish(true, false);
        return;
    }

    setStepFrameCount(checker.movie.frameCount);
    setTotalFrames(checker.movie.frameCount);

    bool partial = false;
    bool readError = false;
    uint32_t first = 0;
    for (;;) {
        if (!continueAfterPause()) {
            partial = true;
            break;
        }

        const uint32_t joined = hap_file_checker_join_current(&checker, &first);
        if (joined > 0) reviewJoined(&checker, first, joined);

        uint32_t read = 0;
        try {
            read = hap_file_checker_read_batch(&checker);
        } catch (const std::bad_alloc&) {
            appendLog(QStringLiteral("ERROR : Failed to load frames (OOM) (After frame : %1)").arg(checker.framesChecked));
            readError = true;
            break;
        } catch (const std::exception& e) {
            std::printf("ERR : Failed to load frames %s (After frame : %u)\n", e.what(), checker.framesChecked);
            std::fflush(stdout);
            appendLog(QStringLiteral("ERROR : Failed to load frames (After frame : %1)").arg(checker.framesChecked));
            readError = true;
            break;
        }
        if (read == 0) break;

        hap_file_checker_start_batch(&checker);
        batchStarted(checker.nextFrame);
    }

    // Up to two batches are still in flight. The older one sits in the current half and
    // is collected first, so the reviewed frames are always 0..X-1 in order, whatever
    // ended the loop (end of file, stop or failure).
    uint32_t joined = hap_file_checker_join_current(&checker, &first);
    if (joined > 0) reviewJoined(&checker, first, joined);
    joined = hap_file_checker_swap_and_join(&checker, &first);
    if (joined > 0) reviewJoined(&checker, first, joined);

    if (partial) {
        appendLogs({QStringLiteral("\nPartial results :"),
                    QStringLiteral("Process frames : %1\n").arg(checker.framesChecked)});
    }
    const bool warnChunks = m_warnChunks.load();
    QStringList summary{QStringLiteral("Global results :"), QStringLiteral("Frames valids : %1").arg(checker.validFrames),
                        QStringLiteral("Frames invalides : %1").arg(checker.invalidFrames)};
    if (warnChunks) {
        summary.append(QStringLiteral("Frames with inconsistent chunk count : %1 %2")
                           .arg(checker.inconsistentChunkFrames)
                           .arg(QLatin1String(kChunkNote)));
    }
    appendLogs(summary);

    const bool failed = checker.invalidFrames > 0 || readError;
    const bool warnings = warnChunks && checker.inconsistentChunkFrames > 0;
    hap_file_checker_release(&checker);
    finish(failed, warnings);
}
