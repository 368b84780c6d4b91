// Paths the import cannot open, end to end on the X server: given on the command line
// they show the same import error as File > Open shows for them, and a path that is
// not a regular file (FIFO, socket, device) is refused before anything opens it,
// whether it comes from the Open dialog, a drop, the mapping panel or the command
// line. A FIFO is watched by a writer that lets any reader through, so a regression
// fails the test instead of freezing it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <fcntl.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include "app/main_window.h"
#include "base/settings/global_settings.h"
#include "app/view_info_error.h"
#include "audio/all_audio_src_tracks.h"
#include "movie/file_to_play.h"
#include "render/vulkan_window.h"
#include "tests/app/window/shown_main_window.h"
#include "tests/render/vulkan_harness.h"
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

}  // namespace
