// The player window's start and playback, measured on the real window (run it under an
// X server; on CI machines that is Xvfb with Mesa's software Vulkan driver, so the
// figures include software rendering):
//   - time from loadFile to the first frame on screen, for a 1080p and a 4K HapQ movie
//     (median of 7; "on screen" is taken as the return of a window grab, which renders
//     and reads back one frame, so it is an upper bound);
//   - 20 s of 1080p60 HapQ playback: ticks that came more than a frame late, and the
//     drift between the frame shown and the wall clock.
//   player_bench <bench movie folder>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QVulkanInstance>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/main_window.h"
#include "app/playback_clock.h"
#include "movie/file_to_play.h"
#include "render/vulkan_win_renderer.h"
#include "render/vulkan_window.h"

namespace {
void spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double first_frame_ms(MainWindow& window, const QString& path) {
    std::vector<double> runs;
    for (int i = 0; i < 7; ++i) {
        QElapsedTimer timer;
        timer.start();
        window.loadFile({path}, -1, false);
        const QImage shown = window.videoWindow()->grab();
        runs.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        if (shown.isNull() || !window.movie()) return -1.0;
        spin(50);
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: player_bench <bench movie folder>\n");
        return 2;
    }
    QApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    MainWindow::setCriticalBoxProvider([](QWidget*, const QString&, const QString&) {});

    QVulkanInstance instance;
    if (!instance.create()) {
        std::fprintf(stderr, "no Vulkan instance\n");
        return 1;
    }
    auto* video = new VulkanWindow;
    video->setVulkanInstance(&instance);
    auto* window = new MainWindow(video, &instance, QString());
    window->show();
    QElapsedTimer wait;
    wait.start();
    while (!window->isRendererReady() && wait.elapsed() < 20000) spin(20);
    if (!window->isRendererReady()) {
        std::fprintf(stderr, "the renderer never got ready\n");
        return 1;
    }

    std::printf("first frame on screen after loadFile (median of 7, ms)\n");
    for (const char* name : {"testsrc2_hapq_1080p25", "mandelbrot_hapq_4k"}) {
        const double ms = first_frame_ms(*window, folder + "/" + name + ".mov");
        std::printf("  %-24s %8.1f\n", name, ms);
    }

    window->loadFile({folder + "/testsrc2_hapq_1080p60.mov"}, -1, false);
    if (!window->movie()) {
        std::fprintf(stderr, "cannot open the 1080p60 movie\n");
        return 1;
    }
    const double fps = window->movie()->fps();
    QElapsedTimer wall;
    window->setPlaySpeed(1);
    wall.start();
    const uint32_t start = window->currentFrame();
    int samples = 0;
    double worst = 0.0;
    double sum = 0.0;
    while (wall.elapsed() < 20000 && window->playSpeed() != 0) {
        spin(100);
        const double expected = static_cast<double>(wall.nsecsElapsed()) / 1e9 * fps;
        const double drift = static_cast<double>(window->currentFrame() - start) - expected;
        worst = std::max(worst, std::abs(drift));
        sum += drift;
        ++samples;
    }
    const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    const bool stopped = window->playSpeed() == 0;
    const uint64_t ticks = window->playbackClock()->ticks();
    const uint64_t late = window->playbackClock()->lateTicks();
    const double final_drift = static_cast<double>(window->currentFrame() - start) - seconds * fps;
    window->setPlaySpeed(0);
    std::printf("1080p60 HapQ playback for %.1f s%s\n", seconds, stopped ? " (stopped early: queue ran dry)" : "");
    std::printf("  ticks %llu, late ticks %llu (%.2f %%)\n", static_cast<unsigned long long>(ticks),
                static_cast<unsigned long long>(late), ticks ? 100.0 * late / ticks : 0.0);
    std::printf("  drift of the frame shown against the wall clock: final %+.1f frames, mean %+.2f, worst %.1f\n",
                final_drift, samples ? sum / samples : 0.0, worst);

    window->close();
    delete video;
    delete window;
    return 0;
}
