// Paths the import cannot open, end to end on the X server: given on the command line
// they show the same import error as File > Open shows for them, and a path that is
// not a regular file (FIFO, socket, device) is refused before anything opens it,
// whether it comes from the Open dialog, a drop, the mapping panel or the command
// line. A FIFO is watched by a writer that lets any reader through, so a regression
// fails the test instead of freezing it. A WAV file stating more channels than a
// source can route is refused at once, whichever way it comes.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <utility>
#include <unistd.h>

#include "app/main_window.h"
#include "base/settings/global_settings.h"
#include "app/view_info_error.h"
#include "audio/all_audio_src_tracks.h"
#include "media/wav_file.h"
#include "movie/file_to_play.h"
#include "render/vulkan_window.h"
#include "tests/app/window/shown_main_window.h"
#include "tests/render/vulkan_harness.h"
#include "tests/support/audio_src_files.h"
#include "tools/panel_audio_mapping.h"
#include "ui/view_label.h"

namespace {

QString fixture(const char* name) { return QString(HAP_FIXTURE_DIR) + "/" + name; }

struct ShownError {
    bool shown = false;
    std::string title;
    std::string text;
};

ShownError shown_error(const MainWindow& window) {
    return {window.isErrorShown(), window.messageView()->titleLabel()->text().toStdString(),
            window.messageView()->messageLabel()->text().toStdString()};
}

// Opens a FIFO for writing, without blocking, whenever a reader holds it open: an
// import that opened the FIFO is let through (it reads end of file) and recorded, so
// the test fails and never hangs.
class FifoWatch {
public:
    explicit FifoWatch(const QString& path) : m_path(QFile::encodeName(path).toStdString()) {
        m_thread = std::thread([this] {
            while (!m_stop.load()) {
                const int fd = ::open(m_path.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {  // ENXIO while nobody reads
                    m_readerSeen = true;
                    ::close(fd);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    ~FifoWatch() {
        m_stop = true;
        m_thread.join();
    }
    FifoWatch(const FifoWatch&) = delete;
    FifoWatch& operator=(const FifoWatch&) = delete;

    bool readerSeen() const { return m_readerSeen.load(); }

private:
    std::string m_path;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_readerSeen{false};
    std::thread m_thread;
};

class ImportRefusalTest : public ChosenPathWindowTest {
protected:
    void open(const QString& initial = QString()) { ASSERT_NO_FATAL_FAILURE(shown.open(initial)); }

    void reopen(const QString& initial = QString()) {
        shown.close();
        ASSERT_NO_FATAL_FAILURE(shown.open(initial));
    }

    QString makeFifo(const char* name) {
        const QString path = dir.filePath(name);
        EXPECT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0) << std::strerror(errno);
        return path;
    }

    void drop(const QString& path) { drop_files(shown.video, {path}, QPointF(50, 50)); }

    void expectRefused(const std::string& title, const QString& path) {
        const ShownError error = shown_error(*shown.window);
        EXPECT_TRUE(error.shown);
        EXPECT_EQ(error.title, title);
        EXPECT_EQ(error.text, ("Not a regular file : " + QDir::toNativeSeparators(path)).toStdString());
    }
};

TEST_F(ImportRefusalTest, ACommandLineFileThatCannotOpenShowsTheErrorOfFileOpen) {
    const QString folder = dir.filePath("clips");
    const QString movieFolder = dir.filePath("folder.mov");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QDir().mkpath(movieFolder));
    const QString notMovie = dir.filePath("notes.mov");
    {
        QFile file(notMovie);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("this is not a movie\n");
    }
    const QStringList paths = {dir.filePath("missing.mov"), folder,  movieFolder,
                               fixture("window_tone.wav"),  notMovie, fixture("window_prores.mov")};

    // What File > Open shows for each, in a window without a movie.
    open();
    QList<ShownError> fromDialog;
    for (const QString& path : paths) {
        chosen = path;
        shown.window->act_open_menu();
        fromDialog << shown_error(*shown.window);
        shown.window->viewVideoClicError();
    }

    for (qsizetype i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(paths[i].toStdString());
        ASSERT_TRUE(fromDialog[i].shown);
        ASSERT_FALSE(fromDialog[i].text.empty());
        reopen(paths[i]);
        const ShownError atStart = shown_error(*shown.window);
        EXPECT_TRUE(atStart.shown);
        EXPECT_EQ(atStart.title, fromDialog[i].title);
        EXPECT_EQ(atStart.text, fromDialog[i].text);
        EXPECT_EQ(shown.window->movie(), nullptr);
        EXPECT_EQ(shown.window->windowTitle().toStdString(), MainWindow::kTitle);
    }
}

TEST_F(ImportRefusalTest, AFifoIsRefusedByEveryImportWithoutOpeningIt) {
    const QString fifo = makeFifo("stream.mov");
    FifoWatch watch(fifo);

    // The command line.
    open(fifo);
    expectRefused("File import error", fifo);
    EXPECT_EQ(shown.window->movie(), nullptr);

    // File > Open and a drop, with a movie open: it stays.
    shown.window->loadFile({fixture("window_ramp.mov")}, -1, false);
    FileToPlay* kept = shown.window->movie();
    ASSERT_NE(kept, nullptr);
    chosen = fifo;
    shown.window->act_open_menu();
    expectRefused("File import error", fifo);
    shown.window->viewVideoClicError();
    drop(fifo);
    expectRefused("File import error", fifo);
    EXPECT_EQ(shown.window->movie(), kept);

    // An audio FIFO, dropped on the window or on the mapping panel, adds no track.
    const QString audioFifo = makeFifo("stream_l.wav");
    FifoWatch audioWatch(audioFifo);
    const int tracks = shown.window->audioTracks()->countWavTracks();
    drop(audioFifo);
    expectRefused("Wav file import error", audioFifo);
    shown.window->PanelAudioMap_DropFiles({audioFifo}, 0);
    expectRefused("Wav file import error", audioFifo);
    EXPECT_EQ(shown.window->audioTracks()->countWavTracks(), tracks);
    EXPECT_EQ(shown.window->movie(), kept);

    EXPECT_FALSE(watch.readerSeen()) << "the import opened the movie FIFO";
    EXPECT_FALSE(audioWatch.readerSeen()) << "the import opened the audio FIFO";
}

TEST_F(ImportRefusalTest, SocketsAndDevicesAreRefusedToo) {
    const QString socketPath = dir.filePath("socket.mov");
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(socketPath);
    ASSERT_LT(size_t(encoded.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
    // A device behind a name the import takes: it would never end reading.
    const QString device = dir.filePath("zero.mov");
    ASSERT_TRUE(QFile::link("/dev/zero", device));

    open();
    for (const QString& path : {socketPath, device}) {
        SCOPED_TRACE(path.toStdString());
        shown.window->loadFile({path}, -1, false);
        expectRefused("File import error", path);
        EXPECT_EQ(shown.window->movie(), nullptr);
        shown.window->viewVideoClicError();
    }
    ::close(fd);
}

// 65535 channels of 8 bits and 2 frames (131 KB): the reader refuses the file, and
// as a movie's companion, through File > Open, dropped on the window or on the mapping
// panel it is refused at once, naming the file, with the movie and its sound kept.
TEST_F(ImportRefusalTest, AWavOfMoreChannelsThanASourceRoutesIsRefusedAtOnceByEveryImport) {
    const QString movie = QString::fromStdString(testsupport::copy_fixture_as("window_no_sound.mov", "silent.mov"));
    const QString wav = QString::fromStdString(testsupport::write_pcm_wav("silent.wav", 65535, 48000, 8, false, 2));
    const std::string refusal = "Unsupported channel count (65535, at most 64) : " + wav.toStdString();

    WavFile reader;
    WavFile::init(&reader);
    std::string readerError = "no error";
    try {
        WavFile::open(&reader, reinterpret_cast<const char16_t*>(wav.utf16()));
    } catch (const std::runtime_error& e) {
        readerError = e.what();
    }
    WavFile::close(&reader);
    EXPECT_EQ(readerError, refusal);

    open();
    MainWindow& window = *shown.window;
    window.settings()->import_auto_load_wave_files = true;
    window.act_menu_audio_mapping();
    PanelAudioMapping* panel = window.audioMappingPanel();
    ASSERT_NE(panel, nullptr);
    // Far above what a refused file costs, far below the seconds of a row per channel.
    constexpr qint64 kAnswerBoundMs = 1000;
    const auto expectRefusedAtOnce = [&](const char* way, const std::function<void()>& import) {
        SCOPED_TRACE(way);
        QElapsedTimer clock;
        clock.start();
        import();
        QCoreApplication::processEvents();
        EXPECT_LT(clock.elapsed(), kAnswerBoundMs);
        const ShownError error = shown_error(window);
        EXPECT_TRUE(error.shown);
        EXPECT_EQ(error.title, "Wav file import error");
        EXPECT_EQ(error.text, "Audio track error : " + refusal);
        window.viewVideoClicError();
    };

    // Beside the movie, as its companion: the movie opens without it.
    chosen = movie;
    expectRefusedAtOnce("companion", [&] { window.act_open_menu(); });
    ASSERT_NE(window.movie(), nullptr);
    EXPECT_EQ(window.movie()->filePath(), movie);
    EXPECT_EQ(window.audioTracks()->countWavTracks(), 0);
    EXPECT_TRUE(panel->rows().isEmpty());

    // Given to a movie that has a sound: both stay as they were.
    window.loadFile({fixture("window_tone.wav")}, -1, false);
    ASSERT_EQ(window.audioTracks()->countWavTracks(), 1);
    const FileToPlay* kept = window.movie();
    const QList<AudioSrcTrack*> sound = window.audioTracks()->tracks();
    const uint32_t layout = window.audioTracks()->outputLayout();
    chosen = wav;
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"File > Open", [&] { window.act_open_menu(); }},
        {"a drop on the window", [&] { drop(wav); }},
        {"a drop on the mapping panel", [&] { drop_files(panel, {wav}, QPointF(300, panel->height() - 10)); }},
    };
    for (const auto& [way, import] : ways) {
        expectRefusedAtOnce(way, import);
        EXPECT_EQ(window.movie(), kept) << way;
        EXPECT_EQ(window.audioTracks()->tracks(), sound) << way;
        EXPECT_EQ(window.audioTracks()->outputLayout(), layout) << way;
        EXPECT_EQ(panel->rows().size(), 1) << way;
    }
}

}  // namespace
