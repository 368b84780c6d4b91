#include "tests/app/window/heard_sound.h"

#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/main_window.h"
#include "movie/file_to_play.h"
#include "tests/support/audio_signal_analysis.h"

namespace heardsound {

long locate(const std::vector<float>& reference, const std::vector<float>& heard, size_t at) {
    const size_t found = testsupport::locate(reference, 0, reference.size(), heard, at, 32);
    return found == testsupport::kNotFound ? -1 : long(found);
}

std::string describe(const std::vector<std::pair<size_t, size_t>>& runs, size_t framesPerMs) {
    std::string text;
    for (const auto& [first, end] : runs)
        text += " [" + std::to_string(first / framesPerMs) + " ms, " + std::to_string(end - first) + " frames]";
    return text;
}

bool wait_for_sound_at_picture(const std::vector<float>& reference, const std::function<std::vector<float>()>& heard,
                               const MainWindow& window, int timeoutMs, std::string* failure) {
    double soundAt = -1.0;
    double pictureAt = 0.0;
    const bool back = QTest::qWaitFor(
        [&] {
            const std::vector<float> samples = heard();
            if (samples.size() < 32) return false;
            soundAt = double(locate(reference, samples, samples.size() - 32)) / 48000.0;
            pictureAt = double(window.currentFrame()) / double(window.movie()->fps());
            return soundAt >= 0.0 && std::fabs(soundAt - pictureAt) < 0.5;
        },
        timeoutMs);
    if (!back && failure)
        *failure = "the last sound heard is from " + std::to_string(soundAt) + " s, the picture at " +
                   std::to_string(pictureAt) + " s";
    return back;
}

double median_lead(const std::vector<float>& reference, const std::function<std::vector<float>()>& heard,
                   const QElapsedTimer& clock, int readings, int spacingMs) {
    std::vector<double> leads;
    for (int i = 0; i < readings; ++i) {
        QTest::qWait(spacingMs);
        const std::vector<float> samples = heard();
        if (samples.size() < 32) continue;
        const long at = locate(reference, samples, samples.size() - 32);
        if (at < 0) continue;
        leads.push_back(double(at) / 48000.0 - double(clock.nsecsElapsed()) / 1e9);
    }
    if (leads.size() < size_t(readings) / 2) return NAN;
    std::nth_element(leads.begin(), leads.begin() + long(leads.size() / 2), leads.end());
    return leads[leads.size() / 2];
}

bool starve_process(int ms) {
    const std::string command = "kill -STOP $PPID; sleep " + std::to_string(ms / 1000.0) + "; kill -CONT $PPID";
    return std::system(command.c_str()) == 0;
}

}  // namespace heardsound
