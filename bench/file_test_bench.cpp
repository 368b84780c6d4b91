// The HAP file test: frames checked per second by the test task (read, parse and full
// decode of every frame, in batches), against FFmpeg's full decode of the same file
// (`-f null`, timed as a process) in the same run. Movies: 4K HapQ of one second, 750
// frames of 4K HapQ, and a two-hour movie of 64x64 Hap1 frames (180,000 frames), where
// what costs is the scheduling of the frames rather than their decoding.
//   file_test_bench <bench movie folder> [runs] [movie name ...]
// Prints medians of the runs (3 by default) and the processor seconds a file test used
// (every thread of the process; the machine may be shared, so the load is printed too).
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
#include "movie/file_to_play.h"
#include "tools/test_hap_file_process_task.h"

namespace {
double ffmpeg_fps(const std::string& path, uint32_t frames) {
    const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -threads 0 -i '" + path + "' -f null -";
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) return 0;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return frames / seconds;
}

struct FileTestRun {
    double fps = 0;          // 0 when the test did not finish cleanly
    double cpuSeconds = 0;  // processor time of the whole process during the test
};

FileTestRun file_test(FileToPlay& movie) {
    TestHapFileProcessTask task(nullptr, &movie);
    const double cpuStart = bench::process_cpu_seconds();
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
    FileTestRun run;
    run.cpuSeconds = bench::process_cpu_seconds() - cpuStart;
    if (task.runState() == ProcessTaskState_Finished) run.fps = movie.frameCount() / seconds;
    return run;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <bench movie folder> [runs] [movie name ...]\n", argv[0]);
        return 2;
    }
    QCoreApplication app(argc, argv);
    const std::string folder = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    std::vector<std::string> names;
    for (int i = 3; i < argc; ++i) names.push_back(argv[i]);
    if (names.empty())
        names = {"mandelbrot_hapq_4k", "testsrc2_hapq_4k", "mandelbrot_hapq_4k_750", "testsrc2_hap1_64x64_2h"};
    std::printf("HAP file test, frames per second (median of %d; load %.1f)\n", runs, bench::load_average());
    std::printf("  %-26s %8s %10s %10s %8s\n", "movie", "frames", "file test", "ffmpeg", "ratio");
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name + ".mov";
        FileToPlay movie(QString::fromStdString(path));
        if (!movie.errorText().isEmpty()) {
            std::printf("  %-26s cannot open: %s\n", name.c_str(), movie.errorText().toLocal8Bit().constData());
            continue;
        }
        // File test and FFmpeg alternate, so that both see the same load.
        std::vector<double> ours, cpu, reference;
        for (int i = 0; i < runs; ++i) {
            const FileTestRun run = file_test(movie);
            ours.push_back(run.fps);
            cpu.push_back(run.cpuSeconds);
            reference.push_back(ffmpeg_fps(path, movie.frameCount()));
        }
        const double fps = bench::median(ours);
        const double ffmpeg = bench::median(reference);
        std::printf("  %-26s %8u %10.1f %10.1f %8.2f   (file test: %.2f processor s; load %.1f)\n", name.c_str(),
                    movie.frameCount(), fps, ffmpeg, ffmpeg > 0 ? fps / ffmpeg : 0.0, bench::median(cpu),
                    bench::load_average());
        std::fflush(stdout);
    }
    return 0;
}
