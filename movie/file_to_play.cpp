#include "movie/file_to_play.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>

#include "media/file_access.h"
#include "media/hap_decode_frame_to_dxt.h"
#include "media/hap_frame.h"
#include "base/report/report_text.h"
#include "base/text/time_text.h"

namespace {

constexpr uint32_t kHap1 = mov_fourcc("Hap1");
constexpr uint32_t kHap5 = mov_fourcc("Hap5");
constexpr uint32_t kHap7 = mov_fourcc("Hap7");
constexpr uint32_t kHapA = mov_fourcc("HapA");
constexpr uint32_t kHapM = mov_fourcc("HapM");
constexpr uint32_t kHapY = mov_fourcc("HapY");

bool is_hap_codec(uint32_t codec) {
    return codec == kHap1 || codec == kHap5 || codec == kHap7 || codec == kHapA || codec == kHapM || codec == kHapY;
}

QString two_decimals(double value) { return QString::number(value, 'f', 2); }

// A rate as a whole count of bits per second. A hostile time scale can push the float
// past what 64 bits hold, where a plain conversion is undefined: such rates saturate.
uint64_t rate_to_u64(float rate) {
    if (!(rate > 0.0f)) return 0;
    if (rate >= 18446744073709551616.0f) return UINT64_MAX;
    return static_cast<uint64_t>(rate);
}

}  // namespace

QString formatFileSize(uint64_t bytes, bool binary_units) {
    const double value = static_cast<float>(bytes);
    if (binary_units) {
        if (bytes < 1024) return QStringLiteral("%1 Bytes").arg(bytes);
        if (bytes < 1048576) return QStringLiteral("%1 kiB").arg(two_decimals(value / 1024.0));
        if (bytes < 1073741824) return QStringLiteral("%1 MiB").arg(two_decimals(value / 1048576.0));
        return QStringLiteral("%1 GiB").arg(two_decimals(value / 1073741824.0));
    }
    if (bytes < 1000) return QStringLiteral("%1 Bytes").arg(bytes);
    if (bytes < 1000000) return QStringLiteral("%1 kB").arg(two_decimals(value / 1000.0));
    if (bytes < 1000000000) return QStringLiteral("%1 MB").arg(two_decimals(value / 1000000.0));
    return QStringLiteral("%1 GB").arg(two_decimals(value / 1000000000.0));
}

FileToPlay::FileToPlay(const QString& path, QObject* parent) : QObject(parent) {
    MovFile::init(&m_movie);
    PadBuffer::init(&m_readBuffer);
    open(path);
}

FileToPlay::~FileToPlay() {
    MovFile::closeFile(&m_movie);
    MovFile::free(&m_movie);
    PadBuffer::free(&m_readBuffer);
    std::free(m_widePath);
}

void FileToPlay::open(const QString& path) {
    if (path.isEmpty()) {
        setErrorText(QStringLiteral("No filepath"));
        return;
    }
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QLatin1String("mov")) {
        setErrorText(QStringLiteral("Unsupported extension : %1").arg(suffix));
        return;
    }

    try {
        const QString native = QDir::toNativeSeparators(path);
        const auto length = static_cast<size_t>(native.size());
        m_widePath = static_cast<char16_t*>(std::malloc((length + 1) * sizeof(char16_t)));
        if (!m_widePath) throw std::bad_alloc();
        std::memcpy(m_widePath, native.constData(), length * sizeof(char16_t));
        m_widePath[length] = 0;

        // The frame queue reads ahead of the clock itself, frame by frame, and the file
        // is read without the kernel's read-ahead. That one grows its window to
        // megabytes as a sequential reader goes on, and a frame read then waits for a
        // whole window at the storage's pace: on storage not much faster than the
        // movie, small frames came seconds late, from the play's start (the parse's
        // own reads began a window) and again and again.
        MovFile::parse(&m_movie, m_widePath, true);
        if (!m_movie.frameTable) throw std::runtime_error("Fail to read frames index table");

        if (!is_hap_codec(m_movie.codec)) {
            qDebug("Codec unsupported : %u", m_movie.codec);
            setErrorText(QStringLiteral("Unsupported codec"));
        }
        if (m_movie.frameCount == 0) setErrorText(QStringLiteral("Invalid duration"));
    } catch (const std::runtime_error& error) {
        setErrorText(QStringLiteral("Error loading file : %1").arg(QString::fromUtf8(error.what())));
    } catch (const std::bad_alloc&) {
        setErrorText(QStringLiteral("Memory error"));
    } catch (...) {
        setErrorText(QStringLiteral("Unknown error"));
    }

    // A movie already refused is not probed: there may be no frame 0 to read.
    if (is_hap_codec(m_movie.codec) && errorText().isEmpty())
        probeFirstFrame();
    else
        m_textureChunkCount = 0;
}

QString FileToPlay::errorText() const {
    QMutexLocker lock(&m_errorMutex);
    return m_errorText;
}

void FileToPlay::setErrorText(const QString& text) {
    QMutexLocker lock(&m_errorMutex);
    m_errorText = text;
}

void FileToPlay::clearErrorText() { setErrorText(QString()); }

void FileToPlay::probeFirstFrame() {
    if (!m_movie.frameTable || m_movie.frameCount == 0 || !m_movie.file || !m_movie.readMutex) return;
    try {
        std::lock_guard<std::mutex> lock(*m_movie.readMutex);
        HapFrame frame;
        hap_frame_init_from_file(&frame, m_movie.width, m_movie.height, m_movie.file, m_movie.frameTable[0].offset,
                                 m_movie.frameTable[0].size);
        m_textureChunkCount = frame.chunk_counts[0];
        hap_frame_free(&frame);
    } catch (const std::runtime_error& error) {
        setErrorText(QStringLiteral("Error read first frame (%1)").arg(QString::fromUtf8(error.what())));
    } catch (const std::bad_alloc&) {
        setErrorText(QStringLiteral("Memory error"));
    } catch (...) {
        setErrorText(QStringLiteral("Unknown error"));
    }
}

bool FileToPlay::readFrame(uint32_t index, VideoFrame* frame) {
    QMutexLocker frameLock(&m_frameReadMutex);
    return readFrame(index, frame, &m_readBuffer);
}

bool FileToPlay::readFrame(uint32_t index, VideoFrame* frame, PadBuffer* bytes) {
    return readFrameBytes(index, frame, bytes) && decodeFrameBytes(index, frame, *bytes);
}

bool FileToPlay::readFrameBytes(uint32_t index, VideoFrame* frame, PadBuffer* bytes) {
    // A movie that failed to open has no stream: its frame count is 0 or its table is absent.
    if (index >= m_movie.frameCount || !m_movie.frameTable || !m_movie.file || !m_movie.readMutex) {
        setErrorText(QStringLiteral("Invalid frame : %1 (duration file : %2)").arg(index).arg(m_movie.frameCount));
        return false;
    }
    frame->status = 0;
    const FrameIndexEntry entry = m_movie.frameTable[index];
    if (entry.size == 0) {
        qDebug("Invalid frame len 0");
        frame->frame_number = index;
        frame->status |= VideoFrameStatus_DecodeFailed;
        setErrorText(QStringLiteral("Invalid frame"));
        return false;
    }

    bool read = false;
    try {
        // The buffer grows outside the lock: other readers wait only for the file.
        PadBuffer::alloc(bytes, entry.size);
        std::lock_guard<std::mutex> lock(*m_movie.readMutex);
        file_read_at(m_movie.file, bytes->data, entry.offset, entry.size);
        bytes->length = entry.size;
        read = true;
        if (const uint64_t pace = m_readPace.load()) {
            // The read is done at that pace after the ones before it (a device left
            // idle saves nothing up), and served at the start of its slice: at once
            // within the current one.
            using namespace std::chrono;
            constexpr nanoseconds kSlice = milliseconds(100);
            const auto now = steady_clock::now();
            m_pacedUntil = std::max(m_pacedUntil, now) + nanoseconds(uint64_t(entry.size) * 1000000000ull / pace);
            const auto slice = (m_pacedUntil.time_since_epoch() - nanoseconds(1)) / kSlice;
            const steady_clock::time_point served(slice * kSlice);
            if (served > now) std::this_thread::sleep_until(served);
        }
    } catch (const std::runtime_error& error) {
        setErrorText(
            QStringLiteral("Error reading frame : %1 ( %2 )").arg(index).arg(QString::fromUtf8(error.what())));
    } catch (const std::bad_alloc&) {
        setErrorText(QStringLiteral("Memory error : %1").arg(index));
    } catch (...) {
        setErrorText(QStringLiteral("Unknown error reading frame : %1").arg(index));
    }

    frame->frame_number = index;
    if (!read) {
        // The buffer holds another frame's bytes, or none yet after a reallocation:
        // never decode it as this frame.
        frame->status |= VideoFrameStatus_DecodeFailed;
        return false;
    }
    return true;
}

bool FileToPlay::decodeFrameBytes(uint32_t index, VideoFrame* frame, const PadBuffer& bytes) {
    hap_decode_frame_to_dxt(frame, bytes.data, bytes.length, true);
    frame->frame_number = index;
    if (frame->status & VideoFrameStatus_DecodeFailed) {
        setErrorText(QStringLiteral("Corrupt frame : %1").arg(index));
        return false;
    }
    return true;
}

bool FileToPlay::readCompressedFrame(uint32_t index, VideoFrame* frame) {
    if (index >= m_movie.frameCount || !m_movie.frameTable || !m_movie.file || !m_movie.readMutex) {
        setErrorText(QStringLiteral("Invalid frame : %1 (duration file : %2)").arg(index).arg(m_movie.frameCount));
        return false;
    }
    const FrameIndexEntry entry = m_movie.frameTable[index];
    if (entry.size == 0) {
        qDebug("Invalid frame len 0");
        setErrorText(QStringLiteral("Invalid frame"));
        return false;
    }
    try {
        std::lock_guard<std::mutex> lock(*m_movie.readMutex);
        video_frame_alloc_data(frame, entry.size, VideoDataFormat_Compressed);
        file_read_at(m_movie.file, frame->planes[0], entry.offset, entry.size);
        return true;
    } catch (const std::runtime_error& error) {
        qDebug("Error reading frame : %u : %s", index, error.what());
        // The snapshot converter judges by the error text alone.
        setErrorText(
            QStringLiteral("Error reading frame : %1 ( %2 )").arg(index).arg(QString::fromUtf8(error.what())));
    } catch (const std::bad_alloc&) {
        setErrorText(QStringLiteral("Memory error"));
    } catch (...) {
        qDebug("Unknown error reading frame : %u", index);
        setErrorText(QStringLiteral("Unknown error"));
    }
    return false;
}

QString FileToPlay::filePath() const { return m_widePath ? QString::fromUtf16(m_widePath) : QString(); }

bool FileToPlay::setFpsMode(uint32_t mode) {
    if (mode == m_fpsMode) return false;
    m_fpsMode = mode;
    return true;
}

void FileToPlay::fpsRationalForMode(uint32_t mode, uint32_t file_numerator, uint32_t file_denominator,
                                    uint32_t* numerator, uint32_t* denominator) {
    struct Rate {
        uint32_t numerator, denominator;
    };
    static constexpr Rate kRates[] = {{0, 0},   {24000, 1001}, {24, 1}, {25, 1},      {30000, 1001},
                                      {30, 1},  {48, 1},       {50, 1}, {60000, 1001}, {60, 1}};
    if (mode == FpsInterpretMode_File) {
        *numerator = file_numerator;
        *denominator = file_denominator;
        return;
    }
    if (mode >= sizeof(kRates) / sizeof(kRates[0])) {
        std::printf("Unknown fps interpret mode\n");
        *numerator = 25;
        *denominator = 1;
        return;
    }
    *numerator = kRates[mode].numerator;
    *denominator = kRates[mode].denominator;
}

void FileToPlay::fpsRational(uint32_t* numerator, uint32_t* denominator) const {
    fpsRationalForMode(m_fpsMode, m_movie.rateNum, m_movie.rateDen, numerator, denominator);
}

float FileToPlay::fps() const {
    if (m_fpsMode == FpsInterpretMode_File) return static_cast<float>(m_movie.fps);
    uint32_t numerator = 0, denominator = 0;
    fpsRational(&numerator, &denominator);
    return static_cast<float>(double(numerator) / double(denominator));
}

uint32_t FileToPlay::fpsRounded() const {
    const float rate = fps();
    return rate > 0.0f ? static_cast<uint32_t>(std::lround(rate)) : 0;
}

double FileToPlay::durationSeconds() const {
    const float rate = fps();
    // A movie without a rate has no duration rather than an infinite one.
    if (!(rate > 0.0f)) return 0.0;
    return double(m_movie.frameCount) / double(rate);
}

float FileToPlay::averageBitrate() const { return 8.0f * MovFile::averageByteRate(&m_movie); }

bool FileToPlay::isHapCodec() const { return is_hap_codec(m_movie.codec); }

uint32_t FileToPlay::hapTextureFormat() const {
    switch (m_movie.codec) {
        case kHap1: return VideoDataFormat_Hap1;
        case kHap5: return VideoDataFormat_Hap5;
        case kHapY: return VideoDataFormat_HapY;
        case kHapM: return VideoDataFormat_HapM;
        case kHapA: return VideoDataFormat_HapA;
        case kHap7: return VideoDataFormat_Hap7;
        default: qDebug("Unknown codec hap (hap desc)"); return VideoDataFormat_Pixels;
    }
}

bool FileToPlay::hasAlphaChannel() const {
    switch (m_movie.codec) {
        case kHap5:
        case kHapM: return true;
        case kHap7: return m_movie.depth != 24;
        case kHap1:
        case kHapA:
        case kHapY: return false;
        default: qDebug("Unknown codec hap (alpha)"); return false;
    }
}

bool FileToPlay::isAlphaPremultiplied() const {
    return hasAlphaChannel() && ((m_movie.metaPresent && m_movie.alphaKind == 1) || m_movie.alfaMode == 2);
}

bool FileToPlay::isAlphaStraight() const {
    return hasAlphaChannel() && ((m_movie.metaPresent && m_movie.alphaKind == 2) || m_movie.alfaMode == 3);
}

bool FileToPlay::hasDisplayWindow() const {
    return m_movie.metaPresent && m_movie.displayWindowFlag == 1 && m_movie.displayWidth > 0 &&
           m_movie.displayHeight > 0;
}

bool FileToPlay::isDropFrameTimecode() const {
    return m_movie.timecodePresent && (m_movie.timecodeFlags & 1) != 0;
}

QString FileToPlay::alphaText() const {
    if (isAlphaPremultiplied()) return QStringLiteral("Alpha : Yes (Premultiply)");
    if (isAlphaStraight()) return QStringLiteral("Alpha : Yes (Straight)");
    if (hasAlphaChannel()) return QStringLiteral("Alpha : Yes");
    return QStringLiteral("Alpha : No");
}

QString FileToPlay::codecText() const {
    QString name;
    switch (m_movie.codec) {
        case kHap1: name = QStringLiteral("HAP"); break;
        case kHap5: name = QStringLiteral("HAPA"); break;
        case kHap7: name = QStringLiteral("HAPR"); break;
        case kHapA: name = QStringLiteral("HAP Alpha Only"); break;
        case kHapM: name = QStringLiteral("HAPQAlpha"); break;
        case kHapY: name = QStringLiteral("HAPQ"); break;
        default: return QStringLiteral("Unknown codec");
    }
    const QString chunks = m_textureChunkCount > 1 ? QStringLiteral("%1 chunks").arg(m_textureChunkCount)
                                                  : QStringLiteral("1 chunk");
    return QStringLiteral("%1 (%2)").arg(name, chunks);
}

QStringList FileToPlay::sizeText() const {
    QStringList lines;
    if (!hasDisplayWindow()) return lines;
    lines << QStringLiteral("   Display window : %1 x %2 px").arg(m_movie.displayWidth).arg(m_movie.displayHeight);
    lines << QStringLiteral("   Origin file data (Top Left) : %1 x %2 px").arg(m_movie.originX).arg(m_movie.originY);
    return lines;
}

QString FileToPlay::fileSizeText(bool binary_units) const { return formatFileSize(m_movie.fileSize, binary_units); }

QString FileToPlay::bitrateText(bool in_bits) const {
    return formatBitrate(rate_to_u64(averageBitrate()), in_bits);
}

QString FileToPlay::codecBitrateText(bool in_bits) const {
    uint32_t bits_per_block = 0;
    switch (m_movie.codec) {
        case kHap1:
        case kHapA: bits_per_block = 64; break;
        case kHap5:
        case kHap7:
        case kHapY: bits_per_block = 128; break;
        case kHapM: bits_per_block = 192; break;
        default: return QStringLiteral("Unknown codec");
    }
    const uint64_t blocks = (uint64_t(m_movie.width) + 3) / 4 * ((uint64_t(m_movie.height) + 3) / 4);
    const float rate = float(blocks) * float(bits_per_block) * float(m_movie.fps);
    return formatBitrate(rate_to_u64(rate), in_bits);
}

QStringList FileToPlay::warningsText() const {
    QStringList lines;
    if (m_movie.problemFlags & MovProblem_InvalidSttsEntry)
        lines << QStringLiteral("File contains frame(s) with invalid duration");
    if (m_movie.problemFlags & MovProblem_SampleOutsideFile) lines << QStringLiteral("Incomplete mov file");
    return lines;
}

uint32_t FileToPlay::timecodeStartAtPlayedRate() const {
    uint32_t numerator = 0, denominator = 0;
    fpsRational(&numerator, &denominator);
    const bool track_rate = m_movie.timecodeRateNum != 0 && m_movie.timecodeRateDen != 0;
    return timecode_start_at_rate(timecodeStartFrame(), track_rate ? m_movie.timecodeRateNum : m_movie.rateNum,
                                  track_rate ? m_movie.timecodeRateDen : m_movie.rateDen, numerator, denominator,
                                  isDropFrameTimecode());
}

QString FileToPlay::timecodeStartText() const {
    uint32_t numerator = 0, denominator = 0;
    fpsRational(&numerator, &denominator);
    // The shared timecode arithmetic never divides by a zero rate. The text is the
    // label the time display shows on frame 0 at the same rate.
    return timecode_from_frame_count(timecodeStartAtPlayedRate(), numerator, denominator, isDropFrameTimecode());
}
