#include "test_hap_file_test_movies.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <stdexcept>

namespace filetest {

namespace {

QString run(const QString& program, const QStringList& args, QByteArray* out = nullptr) {
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(60000)) return program + " did not finish";
    if (out) *out = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QString::fromUtf8(process.readAllStandardError());
    return QString();
}

QString make(const QString& name, const QStringList& inputs_and_codec) {
    const QString path = QDir(movie_dir()).filePath(name);
    if (QFileInfo::exists(path)) return path;
    const QString error = run_ffmpeg(inputs_and_codec + QStringList{path});
    if (!error.isEmpty()) throw std::runtime_error(error.toStdString());
    return path;
}

QString concat(const QString& name, const QString& a, const QString& b) {
    const QString path = QDir(movie_dir()).filePath(name);
    if (QFileInfo::exists(path)) return path;
    const QString list = QDir(movie_dir()).filePath(name + ".txt");
    QFile file(list);
    if (!file.open(QIODevice::WriteOnly)) throw std::runtime_error("concat list");
    file.write(QStringLiteral("file '%1'\nfile '%2'\n").arg(a, b).toUtf8());
    file.close();
    const QString error = run_ffmpeg({"-f", "concat", "-safe", "0", "-i", list, "-c", "copy", path});
    if (!error.isEmpty()) throw std::runtime_error(error.toStdString());
    return path;
}

// The test pattern as the first input; `frames` is an output option.
QStringList testsrc(const QString& size) {
    return {"-f", "lavfi", "-i", QStringLiteral("testsrc2=size=%1:rate=25").arg(size)};
}

QStringList frames_out(int frames) { return {"-frames:v", QString::number(frames)}; }

}  // namespace

QString run_ffmpeg(const QStringList& args) {
    return run("ffmpeg", QStringList{"-nostdin", "-hide_banner", "-loglevel", "error", "-y"} + args);
}

int packet_count(const QString& movie) {
    QByteArray out;
    const QString error = run("ffprobe", {"-v", "error", "-select_streams", "v:0", "-count_packets", "-show_entries",
                                          "stream=nb_read_packets", "-of", "csv=p=0", movie},
                              &out);
    if (!error.isEmpty()) throw std::runtime_error(error.toStdString());
    return out.trimmed().toInt();
}

std::vector<std::pair<uint64_t, uint32_t>> packets(const QString& movie) {
    QByteArray out;
    const QString error = run("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries", "packet=pos,size",
                                          "-of", "csv=p=0", movie},
                              &out);
    if (!error.isEmpty()) throw std::runtime_error(error.toStdString());
    std::vector<std::pair<uint64_t, uint32_t>> list;
    for (const QByteArray& line : out.split('\n')) {
        const QList<QByteArray> fields = line.trimmed().split(',');
        if (fields.size() < 2) continue;
        // csv order follows the entry order ffprobe keeps: size, then pos.
        list.emplace_back(fields[1].toULongLong(), fields[0].toUInt());
    }
    return list;
}

QString movie_dir() {
    static QTemporaryDir dir;
    if (!dir.isValid()) throw std::runtime_error("no temporary folder");
    return dir.path();
}

QString clean_movie() {
    return make("t1.mov", testsrc("640x360") +
                              QStringList{"-f", "lavfi", "-i", "sine=frequency=1000:sample_rate=48000:duration=4"} +
                              frames_out(100) +
                              QStringList{"-ac", "2", "-c:v", "hap", "-format", "hap_q", "-chunks", "4", "-c:a", "pcm_s16le"});
}

QString hap1_movie(const QString& name, int frames, int chunks, const QString& size, bool indexFirst) {
    QStringList args = testsrc(size) + frames_out(frames) + QStringList{"-c:v", "hap", "-chunks", QString::number(chunks)};
    if (indexFirst) args += QStringList{"-movflags", "+faststart"};
    return make(name, args);
}

QString mixed_chunks_movie() {
    const QString a = hap1_movie("a.mov", 5, 4);
    const QString b = hap1_movie("b.mov", 3, 2);
    return concat("ab.mov", a, b);
}

QString mixed_codec_movie() {
    const QString a = hap1_movie("a.mov", 5, 4);
    const QString c = make("c.mov", testsrc("256x256") + frames_out(3) + QStringList{"-c:v", "hap", "-format", "hap_alpha"});
    return concat("ac.mov", a, c);
}

QString mjpeg_movie() { return make("mjpeg.mov", testsrc("256x256") + frames_out(5) + QStringList{"-c:v", "mjpeg"}); }

QString patched_copy(const QString& source, const QString& name, const std::function<void(QByteArray&)>& patch) {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read the source movie");
    QByteArray bytes = in.readAll();
    patch(bytes);
    const QString path = QDir(movie_dir()).filePath(name);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write the patched movie");
    return path;
}

void set_section_type(QByteArray& file, const std::vector<std::pair<uint64_t, uint32_t>>& packets,
                      const std::vector<int>& frames, uint8_t type) {
    for (int k : frames) file[qsizetype(packets.at(size_t(k)).first + 3)] = char(type);
}

void break_snappy_stream(QByteArray& file, const std::vector<std::pair<uint64_t, uint32_t>>& packets, int frame) {
    // The header and the stream's length stay; in the middle of the stream, 0xFF tags
    // copy from 4-byte offsets far before the start of the output.
    const auto& packet = packets.at(size_t(frame));
    const qsizetype at = qsizetype(packet.first + packet.second / 2);
    for (int i = 0; i < 32; ++i) file[at + i] = char(0xFF);
}

CpuLimit::CpuLimit(int n) {
    if (sched_getaffinity(0, sizeof(m_saved), &m_saved) != 0) return;
    cpu_set_t limited;
    CPU_ZERO(&limited);
    int taken = 0;
    for (int cpu = 0; cpu < CPU_SETSIZE && taken < n; ++cpu) {
        if (!CPU_ISSET(cpu, &m_saved)) continue;
        CPU_SET(cpu, &limited);
        ++taken;
    }
    m_ok = taken == n && sched_setaffinity(0, sizeof(limited), &limited) == 0;
}

CpuLimit::~CpuLimit() { sched_setaffinity(0, sizeof(m_saved), &m_saved); }

}  // namespace filetest
