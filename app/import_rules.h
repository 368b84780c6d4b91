#pragma once
// The file rules of the movie import, apart from any window: sorting a list of paths
// into one movie and audio files, the order of companion audio files by channel, the
// companion files found next to a movie, and the warning texts of an imported movie.
// Plain functions on the GUI thread (they touch the file system, never the window).
#include <QString>
#include <QStringList>

#include <cstdint>

class FileToPlay;

// A list of paths sorted by lower-cased suffix: the first ".mov" is the movie (later
// ones are ignored), every ".wav" is audio. `badSuffix` holds the lower-cased suffix
// of the first path that is neither; the list must then be refused as a whole.
struct ImportPaths {
    QString movie;
    QStringList audio;
    QString badSuffix;
    bool refused = false;
};
ImportPaths import_sort_paths(const QStringList& files);

// Empty when the import may open `path`: a regular file, or nothing at all (the
// reader then reports the missing file itself). Otherwise "Not a regular file : %1"
// with the path: a folder, FIFO, socket or device is refused before anything opens
// it, since opening a FIFO waits for a writer and a device never ends.
QString import_not_regular_file_text(const QString& path);

// Sorted, then for each of "_l", "_r", "_c", "_lfe", "_ls", "_rs" the first path whose
// base name (up to its first dot), lower-cased, ends with it; then the rest, sorted.
QStringList import_order_wav_by_channel(const QStringList& paths);

// The audio files that go with a movie: <base>.wav alone when it exists, else the
// first existing of each channel's suffixes (_L/_l, _R/_r, _C/_c, _Lfe/_LFE/_lfe,
// _Ls/_LS/_ls, _Rs/_RS/_rs), in channel order. `base` is the movie's folder and its
// file name without the last suffix.
QStringList import_companion_wav_files(const QString& movie_path);

// What the preferences ask the import to warn about.
struct ImportWarningSwitches {
    QString codecWarning;  // the codec's warning text, empty when its switch is off
    bool notMultiple4 = false;
    bool variableFps = false;
    bool highBitrate = false;
    double bitrateLimit = 8e9;  // bits per second
    bool bitrateInBits = true;  // texts in bits, else in bytes
};

// The warnings of a freshly opened movie, in the order the import shows them: codec,
// "Not multiple 4", "Variable video fps", the movie's own parse warnings, then
// "High bitrate (%1 > %2)" when its average rate is above the limit.
QStringList import_movie_warnings(const FileToPlay& movie, const ImportWarningSwitches& switches);

// "1 unsupported audio track" or "%1 unsupported audio tracks"; empty for 0.
QString import_unsupported_audio_text(uint32_t count);
