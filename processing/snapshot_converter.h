#pragma once
// SnapshotConverter: makes one snapshot file of a movie frame as the view shows it.
// The caller fills three plain records (the preferences' snapshot values, the movie,
// the view's display modes) and builds the converter, which prepares the parameters
// and the conversion tree (snapshot_tree.h); createSnapshot then chooses the target
// folder and a file name that does not exist yet, reads the frame's compressed sample
// through the movie record's reader, runs the tree and writes the PNG or JPEG file.
//
// Every failure ends as the error text (the first failure's); nothing is thrown.
// A failed snapshot leaves no file and never overwrites one.
// Threads: the GUI thread (playback paused). Owned by its creator, used for one
// snapshot.
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

#include "processing/guide_filters.h"
#include "processing/snapshot_params.h"

struct VideoFrame;
struct VideoGraphTree;

// An 8-bit RGBA colour of the preferences.
struct SnapshotColour {
    uint8_t r = 0, g = 0, b = 0, a = 255;
};

// The preferences' snapshot values, as stored (the converter checks the ranges).
struct SnapshotPrefs {
    uint32_t format = 0;           // 0 JPEG, 1 PNG
    uint32_t dst_folder_mode = 0;  // 0 Desktop, 1 the movie's folder, 2 custom
    QString custom_folder;
    uint32_t scale_mode = 0;  // 0 same as source, 1 fit to, 2 fit and pad
    uint32_t scale_width = 1920;
    uint32_t scale_height = 1080;
    uint32_t jpeg_quality = 90;
    uint32_t time_mode = 1;  // 1 frames, 2 HH_MM_SS_FF, 3 HH_MM_SS_mmm, 4 timecode
    SnapshotColour custom_bg;
    SnapshotColour checker[2];
    SnapshotColour safe_action, safe_title;
    SnapshotColour video_area;
};

// Reads the compressed sample of one frame into the frame (data format 0); returns an
// empty text, or the movie's error text.
using SnapshotSampleReader = std::function<QString(uint32_t frame, VideoFrame* sample)>;

// What the converter needs of the opened movie.
struct SnapshotMovie {
    QString path;
    uint32_t width = 0, height = 0;
    uint32_t fourcc = 0, subcodec = 0;
    bool has_alpha = false;
    bool has_display_window = false;
    uint32_t canvas_width = 0, canvas_height = 0, canvas_x = 0, canvas_y = 0;
    float fps = 0;  // the current interpretation's rate
    uint32_t rate_num = 0, rate_den = 0;  // the current interpretation's rate
    // The timecode start as the time display counts it at that rate (frame 0 shows
    // the movie's own start label at every rate).
    uint32_t timecode_start = 0;
    bool drop_frame = false;
    SnapshotSampleReader read_sample;
};

// The view's display modes.
struct SnapshotView {
    uint32_t background = 0;  // 0 black, 1 white, 2 checkerboard, 4 custom colour, 5 custom checkerboard
    uint32_t scale_quality = 1;
    uint32_t alpha_mode = 0;
    uint32_t crop_box_display_mode = 0;  // 1 the picture placed in the display window
    bool show_safe_area = false;
    bool show_video_area = false;
};

class SnapshotConverter : public QObject {
public:
    // A null record sets "Internal error (Settings)", "(File)" or "(Renderer)".
    SnapshotConverter(QObject* parent, const SnapshotPrefs* prefs, const SnapshotMovie* movie,
                      const SnapshotView* view);
    ~SnapshotConverter() override;
    SnapshotConverter(const SnapshotConverter&) = delete;
    SnapshotConverter& operator=(const SnapshotConverter&) = delete;

    // Makes the file of `frame`; afterwards the error text is empty and the target path
    // names the new file, or the error text says why nothing was made.
    void createSnapshot(uint32_t frame);

    QString errorText() const { return m_error; }
    QString targetPath() const { return m_targetPath; }
    QString targetFolder() const { return m_folder; }
    const SnapshotParams& params() const { return m_params; }
    const VideoGraphTree* tree() const { return m_tree; }

    // Name helpers. Fields at least two digits, milliseconds three, joined by "_".
    // Integer arithmetic: milliseconds never read 1000, minutes never 60.
    static QString timeNameFrames(uint64_t frame, float fps);
    static QString timeNameMillis(uint64_t frame, uint32_t rate_num, uint32_t rate_den);
    // The timecode label of the frame count `frame` (the timecode start included by
    // the caller), as the time display shows it at rate_num / rate_den: wrapping at
    // the day's labels, drop-frame numbering with `drop_frame` where the rate has it.
    static QString timeNameTimecode(uint64_t frame, uint32_t rate_num, uint32_t rate_den, bool drop_frame);
    // "<path>.<ext>", else "<path>_1.<ext>", "_2" ... the first that is neither an
    // existing file nor in `avoid`.
    static QString makeUniqueFilePath(const QString& path, const QString& extension, const QStringList& avoid);
    static bool fileExists(const QString& path);
    static RgbaF colourToFloats(const SnapshotColour& colour);

    // Builds the target path of `frame`; on error sets the error text.
    void buildTargetPath(uint32_t frame);

private:
    void setup(const SnapshotPrefs& prefs, const SnapshotMovie& movie, const SnapshotView& view);

    QString m_error;
    QString m_targetPath;
    SnapshotParams m_params;
    VideoGraphTree* m_tree = nullptr;
    QString m_folder;
    bool m_hasMovie = false;
    SnapshotMovie m_movie;
    VideoFrame* m_input = nullptr;
    uint32_t m_timeMode = 1;
};
