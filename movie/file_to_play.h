#pragma once
// The movie the player has open: a QuickTime movie with HAP video. It reads frames by
// index and decodes them into texture frames for the read-ahead queue, reads raw
// samples for snapshots, and gives the values and texts of the information overlay.
//
// Nothing here throws to the caller: every failure becomes the error text (empty while
// all is well). The error text has its own lock because frames are read on the
// read-ahead threads while the interface thread looks at it.
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <cstdint>

#include "media/mov_file.h"
#include "media/pad_buffer.h"
#include "media/video_frame.h"

// The rate a movie is played and timed at.
enum FpsInterpretMode : uint32_t {
    FpsInterpretMode_File = 0,  // the file's own rate
    FpsInterpretMode_23_976 = 1,
    FpsInterpretMode_24 = 2,
    FpsInterpretMode_25 = 3,
    FpsInterpretMode_29_97 = 4,
    FpsInterpretMode_30 = 5,
    FpsInterpretMode_48 = 6,
    FpsInterpretMode_50 = 7,
    FpsInterpretMode_59_94 = 8,
    FpsInterpretMode_60 = 9,
};

class AudioSrcTrack;

// "%1 Bytes", then "kiB"/"MiB"/"GiB" (binary) or "kB"/"MB"/"GB" (decimal), two decimals.
QString formatFileSize(uint64_t bytes, bool binary_units);

class FileToPlay : public QObject {
    Q_OBJECT
public:
    explicit FileToPlay(const QString& path, QObject* parent = nullptr);
    ~FileToPlay() override;
    FileToPlay(const FileToPlay&) = delete;
    FileToPlay& operator=(const FileToPlay&) = delete;

    // The last error ("" while all is well); callers that want a fresh verdict clear it
    // before a read.
    QString errorText() const;
    void setErrorText(const QString& text);
    void clearErrorText();

    // Reads frame `index` and decodes it into `frame` (allocated for hapTextureFormat(),
    // width() and height()). On failure the frame carries status bit
    // VideoFrameStatus_DecodeFailed and the frame number, and the error text says why.
    // Calls are serialised: they share the movie's read buffer.
    bool readFrame(uint32_t index, VideoFrame* frame);
    // The same into the caller's byte buffer, which that caller alone uses: calls with
    // different buffers may run at once on different threads (only the file access is
    // serialised, under the movie's readMutex), so one thread can read a frame while
    // others decode theirs.
    bool readFrame(uint32_t index, VideoFrame* frame, PadBuffer* bytes);
    // readFrame(index, frame, bytes) in its two halves, for a caller that orders the
    // file accesses of several threads itself: the frame's bytes as stored into `bytes`
    // (under readMutex), then their decode into `frame` (no lock). A failed read marks
    // the frame as readFrame does and leaves nothing to decode.
    bool readFrameBytes(uint32_t index, VideoFrame* frame, PadBuffer* bytes);
    bool decodeFrameBytes(uint32_t index, VideoFrame* frame, const PadBuffer& bytes);
    // Copies the frame's bytes as stored into `frame` (data format 0), for snapshots.
    bool readCompressedFrame(uint32_t index, VideoFrame* frame);
    // Records the chunk count of frame 0's first texture.
    void probeFirstFrame();
    // One new source per audio track of the movie, owned by the caller.
    QList<AudioSrcTrack*> createAudioTracks();

    // Test seam: frame reads then come at `bytes_per_second` (0, the default: as fast as
    // the file gives them), one at a time, as from a device throttled to that rate:
    // served in slices of a tenth of a second, each read at the start of the slice in
    // which that rate has it done. Any thread; takes effect at the next read.
    void setReadPaceForTests(uint64_t bytes_per_second) { m_readPace.store(bytes_per_second); }

    uint32_t frameCount() const { return m_movie.frameCount; }
    bool isValidFrame(uint32_t index) const { return index < m_movie.frameCount; }
    QString filePath() const;
    uint32_t width() const { return m_movie.width; }
    uint32_t height() const { return m_movie.height; }
    void movFile(MovFile** out) { *out = &m_movie; }
    uint32_t codec() const { return m_movie.codec; }
    uint32_t textureChunkCount() const { return m_textureChunkCount; }

    uint32_t fpsMode() const { return m_fpsMode; }
    bool setFpsMode(uint32_t mode);
    static void fpsRationalForMode(uint32_t mode, uint32_t file_numerator, uint32_t file_denominator,
                                   uint32_t* numerator, uint32_t* denominator);
    void fpsRational(uint32_t* numerator, uint32_t* denominator) const;
    float fps() const;
    float fileFps() const { return static_cast<float>(m_movie.fps); }
    uint32_t fpsRounded() const;
    double durationSeconds() const;
    float averageBitrate() const;

    bool isHapCodec() const;
    uint32_t hapTextureFormat() const;
    bool hasAlphaChannel() const;
    bool isAlphaPremultiplied() const;
    bool isAlphaStraight() const;
    bool hasDisplayWindow() const;
    bool hasTimecode() const { return m_movie.timecodePresent != 0; }
    bool isDropFrameTimecode() const;
    // The timecode start as the file counts it, at the timecode track's own rate (the
    // movie's rate when the track does not give one).
    uint32_t timecodeStartFrame() const { return m_movie.timecodePresent ? m_movie.timecodeStart : 0; }
    // The same start label counted at the rate the movie is played (fpsRational), for
    // the time display and the start text: at the track's rate the file's count; at any
    // other rate (a variable-rate movie's resampled rate, an interpreted rate) the count
    // of the start label kept, its frame number brought into that rate
    // (timecode_start_at_rate).
    uint32_t timecodeStartAtPlayedRate() const;
    bool isMultipleOf4() const { return m_movie.width % 4 == 0 && m_movie.height % 4 == 0; }
    bool isVariableFps() const { return m_movie.variableFps == 1; }

    QString alphaText() const;
    QString codecText() const;
    QStringList sizeText() const;
    QString fileSizeText(bool binary_units) const;
    QString bitrateText(bool in_bits) const;
    QString codecBitrateText(bool in_bits) const;
    QStringList warningsText() const;
    QString timecodeStartText() const;

private:
    void open(const QString& path);

    mutable QMutex m_errorMutex;
    QString m_errorText;
    MovFile m_movie;
    // Serialises whole frame reads (read + decode) into m_readBuffer; the movie's own
    // readMutex is held only around the file access, so audio reads and the reads of
    // other buffers are not kept waiting by a decode.
    QMutex m_frameReadMutex;
    PadBuffer m_readBuffer;
    uint32_t m_textureChunkCount = 0;
    // The read seam: the pace, and when the paced storage is free again (under readMutex).
    std::atomic<uint64_t> m_readPace{0};
    std::chrono::steady_clock::time_point m_pacedUntil{};
    uint32_t m_fpsMode = FpsInterpretMode_File;
    char16_t* m_widePath = nullptr;
};
