#include "tests/app/window/heard_sound.h"

#include <QTest>
#include <cmath>

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

}  // namespace heardsound
