#include "tests/app/window/heard_sound.h"

#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "app/main_window.h"
#include "movie/file_to_play.h"
#include "tests/support/audio_signal_analysis.h"

namespace heardsound {

long locate(const std::vector<float>& reference, const std::vector<float>& heard, size_t at) {
    const size_t found = testsupport::locate(reference, 0, reference.size(), heard, at, 32);
    return found == testsupport::kNotFound ? -1 : long(found);
}

namespace {

// The movie's sound as a play at double speed reads it: each sample the mean of two of
// the movie's, from an even (`first` 0) or an odd one. Made once for a reference.
const std::vector<float>& double_speed_sound(const std::vector<float>& reference, size_t first) {
    static std::vector<float> madeFrom;  // a few samples of the reference it was made from, and its size
    static std::vector<float> pairs[2];
    std::vector<float> signature{float(reference.size())};
    for (size_t i = 0; i < reference.size(); i += reference.size() / 7 + 1) signature.push_back(reference[i]);
    if (signature != madeFrom) {
        for (size_t f = 0; f < 2; ++f) {
            pairs[f].clear();
            pairs[f].reserve(reference.size() / 2);
            for (size_t i = f; i + 1 < reference.size(); i += 2)
                pairs[f].push_back((reference[i] + reference[i + 1]) * 0.5f);
        }
        madeFrom = signature;
    }
    return pairs[first];
}

}  // namespace

double movie_seconds(const std::vector<float>& reference, const std::vector<float>& heard, size_t at, int speed,
                     double nearSeconds) {
    constexpr size_t kLength = 32;
    if (at + kLength > heard.size() || speed == 0 || std::abs(speed) > 2) return NAN;
    // Reversed, the samples heard are the movie's from the last to the first.
    std::vector<float> wanted(heard.begin() + long(at), heard.begin() + long(at + kLength));
    if (speed < 0) std::reverse(wanted.begin(), wanted.end());
    const size_t step = size_t(std::abs(speed));
    // Where to look, in samples of the sound searched: near the given place, or anywhere.
    const auto range = [&](size_t size) {
        if (std::isnan(nearSeconds)) return std::pair<size_t, size_t>(0, size);
        const double near = nearSeconds * 48000.0 / double(step);
        const double margin = 3.0 * 48000.0 / double(step);
        const size_t from = near > margin ? std::min(size, size_t(near - margin)) : 0;
        return std::pair<size_t, size_t>(from, std::min(size, size_t(std::max(0.0, near + margin))));
    };
    if (step == 1) {
        const auto [from, to] = range(reference.size());
        const size_t found = testsupport::locate(reference, from, to, wanted, 0, kLength);
        if (found == testsupport::kNotFound) return NAN;
        return double(speed > 0 ? found : found + kLength - 1) / 48000.0;
    }
    for (size_t first = 0; first < 2; ++first) {
        const std::vector<float>& pairs = double_speed_sound(reference, first);
        const auto [from, to] = range(pairs.size());
        const size_t found = testsupport::locate(pairs, from, to, wanted, 0, kLength);
        if (found == testsupport::kNotFound) continue;
        const size_t pair = speed > 0 ? found : found + kLength - 1;
        return double(2 * pair + first) / 48000.0;
    }
    return NAN;
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

namespace {

// The median of `readings` readings `spacingMs` apart of the sound's place in the movie
// (played at `speed`) less `now()`, in seconds; NaN when fewer than half found the
// movie's sound. With `nearNow`, the sound is looked for within three seconds of the
// movie of `now()` only (a reading that finds nothing then costs the window's thread
// less). A reading while the recording stands (the server or the recorder held off the
// processor of a very busy machine: what was heard last is old) or just after the
// window's own thread was held (the recorder hands over what it kept meanwhile, old
// too) says nothing of the sound: another is taken in its place, twice as many at most.
double median_reading(const std::vector<float>& reference, const std::function<std::vector<float>()>& heard,
                      int readings, int spacingMs, const std::function<double()>& now, int speed = 1,
                      bool nearNow = false) {
    std::vector<double> leads;
    int taken = 0;
    size_t lastSize = 0;
    int heldFor = 0;  // readings still to leave out after the window's thread was held
    QElapsedTimer sinceLast;
    sinceLast.start();
    for (int tries = 0; taken < readings && tries < 2 * readings; ++tries) {
        QTest::qWait(spacingMs);
        const qint64 waited = sinceLast.restart();
        const std::vector<float> samples = heard();
        const bool first = tries == 0;
        const bool standing = !first && samples.size() < lastSize + size_t(waited) * 48 / 2;
        lastSize = samples.size();
        if (waited > spacingMs + 100) heldFor = 2;
        if (standing || heldFor > 0) {
            heldFor = std::max(0, heldFor - 1);
            continue;
        }
        ++taken;
        const double near = nearNow ? now() : NAN;
        // The last samples heard; when they are not the movie's (a moment of silence
        // from a late output), the last that are, within the last 20 ms, and where the
        // sound has gone on from them since.
        for (size_t back = 0; back <= 20 * 48 && samples.size() >= back + 32; back += 64) {
            const size_t at = samples.size() - 32 - back;
            if (std::count(samples.begin() + long(at), samples.begin() + long(at + 32), 0.0f) > 2) continue;
            const double where = movie_seconds(reference, samples, at, speed, near);
            if (std::isnan(where)) continue;
            leads.push_back(where + double(speed) * double(back + 32) / 48000.0 - now());
            break;
        }
    }
    if (taken < readings / 2 || leads.size() < size_t(taken) / 2 || leads.empty()) return NAN;
    std::nth_element(leads.begin(), leads.begin() + long(leads.size() / 2), leads.end());
    return leads[leads.size() / 2];
}

}  // namespace

double median_lead(const std::vector<float>& reference, const std::function<std::vector<float>()>& heard,
                   const QElapsedTimer& clock, int readings, int spacingMs) {
    return median_reading(reference, heard, readings, spacingMs,
                          [&clock] { return double(clock.nsecsElapsed()) / 1e9; });
}

double median_lead_over_picture(const std::vector<float>& reference, const std::function<std::vector<float>()>& heard,
                                const MainWindow& window, int readings, int spacingMs, int speed) {
    return median_reading(
        reference, heard, readings, spacingMs,
        [&window] { return double(window.currentFrame()) / double(window.movie()->fps()); }, speed, true);
}

std::vector<std::pair<std::string, double>> leads_through_holds(const std::vector<float>& reference,
                                                                const std::function<std::vector<float>()>& heard,
                                                                const MainWindow& window,
                                                                const std::vector<int>& windowHoldsMs,
                                                                const std::vector<int>& stopsMs) {
    const auto lead = [&] { return median_lead_over_picture(reference, heard, window, 12, 27); };
    std::vector<std::pair<std::string, double>> leads;
    QTest::qWait(300);
    leads.emplace_back("before", lead());
    for (size_t i = 0; i < windowHoldsMs.size(); ++i) {
        // Held here, on the window's thread: no tick, no event, while the sound plays on.
        std::this_thread::sleep_for(std::chrono::milliseconds(windowHoldsMs[i]));
        QTest::qWait(250);
        leads.emplace_back("after window hold " + std::to_string(i + 1) + " of " + std::to_string(windowHoldsMs[i]) +
                               " ms",
                           lead());
    }
    for (size_t i = 0; i < stopsMs.size(); ++i) {
        if (!starve_process(stopsMs[i])) return {};
        // The sound comes back through the restart after the output's stall.
        QTest::qWait(400);
        leads.emplace_back("after player stop " + std::to_string(i + 1) + " of " + std::to_string(stopsMs[i]) + " ms",
                           lead());
    }
    QTest::qWait(500);
    leads.emplace_back("at the end", lead());
    return leads;
}

bool starve_process(int ms) {
    const std::string command = "kill -STOP $PPID; sleep " + std::to_string(ms / 1000.0) + "; kill -CONT $PPID";
    return std::system(command.c_str()) == 0;
}

void expect_lead_kept(const std::vector<std::pair<std::string, double>>& leads, double tolerance) {
    ASSERT_FALSE(leads.empty()) << "the player could not be stopped";
    const double before = leads.front().second;
    ASSERT_FALSE(std::isnan(before)) << "the movie's sound was not heard";
    for (const auto& [when, lead] : leads)
        EXPECT_LT(std::fabs(lead - before), tolerance)
            << when << ": the sound leads the picture by " << lead << " s, " << before << " s before";
}

}  // namespace heardsound
