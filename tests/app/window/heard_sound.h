#pragma once
// What a recorder heard of the window's sound, checked against the movie's own sound (a
// seeded noise, so every stretch of 32 samples says where in the movie it comes from).
// GUI thread of a window test.
#include <cstddef>
#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class MainWindow;
class QElapsedTimer;

namespace heardsound {

// Where in the movie's sound the 32 samples heard from `at` come from, or -1.
long locate(const std::vector<float>& reference, const std::vector<float>& heard, size_t at);

// Where in the movie's sound, in seconds, the 32 samples heard from `at` come from when
// the movie plays at `speed`: 1, or -1 (reversed), or 2 or -2 (each sample heard the
// mean of two of the movie's, as the player reads double speed). Looked for within
// three seconds of `nearSeconds` of the movie when it is given. NaN when nowhere.
double movie_seconds(const std::vector<float>& reference, const std::vector<float>& heard, size_t at, int speed,
                     double nearSeconds = NAN);

// Runs of sound (or silence) as "[start ms, length frames]", for failure messages.
std::string describe(const std::vector<std::pair<size_t, size_t>>& runs, size_t framesPerMs);

// Waits up to `timeoutMs` (Qt's events running) until the last samples heard are the
// movie's sound at 48 kHz within half a second of the picture. False, with what was
// heard last and where the picture was in `failure`, when they never are.
bool wait_for_sound_at_picture(const std::vector<float>& reference, const std::function<std::vector<float>()>& heard,
                               const MainWindow& window, int timeoutMs, std::string* failure);

// Where the sound last heard stands against the clock, in seconds of the movie less
// seconds since `clock` started: the median of `readings` readings `spacingMs` apart
// (Qt's events running; a single reading is off by a block of the recording). The
// clock, not the picture: on a very busy machine the picture may fall behind, which is
// not the sound's fault. NaN when fewer than half the readings found the movie's sound.
double median_lead(const std::vector<float>& reference, const std::function<std::vector<float>()>& heard,
                   const QElapsedTimer& clock, int readings, int spacingMs);

// Where the sound last heard stands against the picture on screen, in seconds of the
// movie: the median of `readings` readings `spacingMs` apart (Qt's events running) of
// the sound's place in the movie less the shown frame's start (`currentFrame / fps`).
// A play's own lead (the sink's and the recording's latency, the frame's time on
// screen) is in it: compare readings of one play. NaN when fewer than half the
// readings found the movie's sound.
// At another speed than 1 (movie_seconds), the sound is located as that speed plays it.
double median_lead_over_picture(const std::vector<float>& reference, const std::function<std::vector<float>()>& heard,
                                const MainWindow& window, int readings, int spacingMs, int speed = 1);

// While the movie plays: the lead over the picture (median_lead_over_picture) before,
// after each hold of the window's thread alone for `windowHoldsMs[i]` (the sound's
// threads run on, as when the window's thread cannot get the processor in time),
// after each stop of the whole process for `stopsMs[i]` (starve_process), and half a
// second later. Each reading named for messages; empty when the process could not be
// stopped.
std::vector<std::pair<std::string, double>> leads_through_holds(const std::vector<float>& reference,
                                                                const std::function<std::vector<float>()>& heard,
                                                                const MainWindow& window,
                                                                const std::vector<int>& windowHoldsMs,
                                                                const std::vector<int>& stopsMs);

// Every lead of `leads` within `tolerance` seconds of the first (a test's checks).
void expect_lead_kept(const std::vector<std::pair<std::string, double>>& leads, double tolerance);

// The whole test process held off the processor for `ms` (as on a machine busier than
// it has cores), by a child that stops and continues it: false when it could not.
bool starve_process(int ms);

}  // namespace heardsound
