#pragma once
// Movies for the file test's tests, made with FFmpeg into one temporary folder per
// test program (made once, on first use), and the byte patches that damage copies of
// them: a frame's section type, its compressed stream, a cut file.
// Also a guard that limits the calling thread to N processors, so a task started
// under it checks N frames per batch.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include <sched.h>

namespace filetest {

// Runs FFmpeg with the arguments (output path last); empty on success, else its errors.
QString run_ffmpeg(const QStringList& args);
// ffprobe's count of video packets.
int packet_count(const QString& movie);
// (offset, size) of every video packet, from ffprobe.
std::vector<std::pair<uint64_t, uint32_t>> packets(const QString& movie);

// The shared folder; every movie is made once.
QString movie_dir();
// 640x360 HapQ, 4 chunks, 100 frames at 25 fps, with a stereo PCM track.
QString clean_movie();
// Hap1 with the given frame count, snappy, `chunks` chunks, no audio; with
// `indexFirst` the movie index precedes the frames.
QString hap1_movie(const QString& name, int frames, int chunks, const QString& size = "256x256",
                   bool indexFirst = false);
// Two encodes joined by stream copy: 5 frames with 4 chunks, then 3 with 2.
QString mixed_chunks_movie();
// Two encodes joined by stream copy: 5 Hap1 frames, then 3 frames of DXT5 sections.
QString mixed_codec_movie();
// A Motion-JPEG .mov.
QString mjpeg_movie();

// A copy of `source` named `name` in the folder, given to `patch` as bytes first.
QString patched_copy(const QString& source, const QString& name, const std::function<void(QByteArray&)>& patch);
// Sets the section type byte of each listed frame (the 4th byte of the frame).
void set_section_type(QByteArray& file, const std::vector<std::pair<uint64_t, uint32_t>>& packets,
                      const std::vector<int>& frames, uint8_t type);
// Breaks the snappy stream of a one-chunk frame so that its texture cannot decode.
void break_snappy_stream(QByteArray& file, const std::vector<std::pair<uint64_t, uint32_t>>& packets, int frame);

// Limits the calling thread to its first `n` allowed processors while alive.
class CpuLimit {
public:
    explicit CpuLimit(int n);
    ~CpuLimit();
    CpuLimit(const CpuLimit&) = delete;
    CpuLimit& operator=(const CpuLimit&) = delete;
    bool ok() const { return m_ok; }

private:
    cpu_set_t m_saved;
    bool m_ok = false;
};

}  // namespace filetest
