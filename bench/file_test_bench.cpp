// The HAP file test on 4K HapQ movies: frames checked per second by the test task (read,
// parse and full decode of every frame, one thread per frame in batches), against
// FFmpeg's full decode of the same file (`-f null`, timed as a process) in the same run.
//   file_test_bench <bench movie folder>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "media/movie/file_to_play.h"
#include "tools/test_hap_file_process_task.h"

namespace {
double ffmpeg_fps(const std::string& path, uint32_t frames) {
    const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -threads 0 -i '" + path + "' -f null -";
    double best = 0;
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) return 0;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = std::max(best, frames / seconds);
    }
    return best;
}

// One whole file test; frames per second, 0 when it did not finish cleanly.
double file_test_fps(FileToPlay& movie) {
    TestHapFileProcessTask task(nullptr, &movie);
    QElapsedTimer timer;
    timer.start();
    task.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (task.runState() != ProcessTaskState_Running) loop.quit();
    });
    poll.start(1);
    loop.exec();
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    if (task.runState() != ProcessTaskState_Finished) return 0;
    return movie.frameCount() / seconds;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <bench movie folder>\n", argv[0]);
        return 2;
    }
    QCoreApplication app(argc, argv);
    const std::string folder = argv[1];
    std::printf("HAP file test, frames per second (median of 3; load %.1f)\n", bench::load_average());
    std::printf("  %-22s %10s %10s %8s\n", "movie", "file test", "ffmpeg", "ratio");
    for (const char* name : {"mandelbrot_hapq_4k", "testsrc2_hapq_4k"}) {
        const std::string path = folder + "/" + name + ".mov";
        FileToPlay movie(QString::fromStdString(path));
        if (!movie.errorText().isEmpty()) {
            std::printf("  %-22s cannot open: %s\n", name, movie.errorText().toLocal8Bit().constData());
            continue;
        }
        std::vector<double> runs;
        for (int i = 0; i < 3; ++i) runs.push_back(file_test_fps(movie));
        const double ours = bench::median(runs);
        const double reference = ffmpeg_fps(path, movie.frameCount());
        std::printf("  %-22s %10.1f %10.1f %8.2f\n", name, ours, reference, reference > 0 ? ours / reference : 0.0);
    }
    return 0;
}
