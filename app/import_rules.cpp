#include "app/import_rules.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <limits>

#include "movie/file_to_play.h"
#include "base/report/report_text.h"

ImportPaths import_sort_paths(const QStringList& files) {
    ImportPaths result;
    for (const QString& path : files) {
        const QString suffix = QFileInfo(path).suffix().toLower();
        if (suffix == "mov") {
            if (result.movie.isEmpty()) result.movie = path;
        } else if (suffix == "wav") {
            result.audio.append(path);
        } else {
            result.badSuffix = suffix;
            result.refused = true;
            return result;
        }
    }
    return result;
}

QString import_not_regular_file_text(const QString& path) {
    // QFileInfo reads the file's status only, which never blocks on a FIFO.
    const QFileInfo info(path);
    if (!info.exists() || info.isFile()) return {};
    return QString("Not a regular file : %1").arg(QDir::toNativeSeparators(path));
}

QStringList import_order_wav_by_channel(const QStringList& paths) {
    QStringList rest = paths;
    rest.sort();
    QStringList ordered;
    static const char* const kSuffixes[] = {"_l", "_r", "_c", "_lfe", "_ls", "_rs"};
    for (const char* suffix : kSuffixes) {
        for (qsizetype i = 0; i < rest.size(); ++i) {
            const QString base = QFileInfo(rest[i]).fileName().section('.', 0, 0).toLower();
            if (base.endsWith(QLatin1String(suffix))) {
                ordered.append(rest.takeAt(i));
                break;
            }
        }
    }
    ordered.append(rest);
    return ordered;
}

namespace {
bool is_regular_file(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}
}  // namespace

QStringList import_companion_wav_files(const QString& movie_path) {
    const QFileInfo movie(movie_path);
    const QString base = movie.dir().filePath(movie.completeBaseName());
    if (is_regular_file(base + ".wav")) return {base + ".wav"};
    static const QStringList kChannels[] = {
        {"_L", "_l"}, {"_R", "_r"}, {"_C", "_c"}, {"_Lfe", "_LFE", "_lfe"}, {"_Ls", "_LS", "_ls"}, {"_Rs", "_RS", "_rs"},
    };
    QStringList found;
    for (const QStringList& suffixes : kChannels) {
        for (const QString& suffix : suffixes) {
            const QString candidate = base + suffix + ".wav";
            if (is_regular_file(candidate)) {
                found.append(candidate);
                break;
            }
        }
    }
    return found;
}

namespace {
uint64_t whole_rate(double bits_per_second) {
    if (!(bits_per_second > 0.0)) return 0;
    const double rounded = std::round(bits_per_second);
    if (rounded >= 18446744073709551615.0) return std::numeric_limits<uint64_t>::max();
    return static_cast<uint64_t>(rounded);
}
}  // namespace

QStringList import_movie_warnings(const FileToPlay& movie, const ImportWarningSwitches& switches) {
    QStringList warnings;
    if (!switches.codecWarning.isEmpty()) warnings.append(switches.codecWarning);
    if (switches.notMultiple4 && !movie.isMultipleOf4()) warnings.append("Not multiple 4");
    if (switches.variableFps && movie.isVariableFps()) warnings.append("Variable video fps");
    warnings.append(movie.warningsText());
    const double rate = movie.averageBitrate();
    if (switches.highBitrate && rate > switches.bitrateLimit) {
        warnings.append(QString("High bitrate (%1 > %2)")
                            .arg(formatBitrate(whole_rate(rate), switches.bitrateInBits),
                                 formatBitrate(whole_rate(switches.bitrateLimit), switches.bitrateInBits)));
    }
    return warnings;
}

QString import_unsupported_audio_text(uint32_t count) {
    if (count == 0) return {};
    if (count == 1) return "1 unsupported audio track";
    return QString("%1 unsupported audio tracks").arg(count);
}
