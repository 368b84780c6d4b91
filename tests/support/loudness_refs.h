#pragma once
// FFmpeg's EBU R128 measures of the loudness fixtures ("<name>.ref" beside the media:
// "I=<LUFS>" and "TP<n>=<dBTP>" lines, "-inf" for a silent channel).
#include <map>
#include <string>

namespace testsupport {

struct LoudnessRef {
    double integrated = 0.0;
    std::map<int, double> truePeaks;  // by channel
};

// Reads fixture_path(name + ".ref"); throws std::runtime_error when missing or malformed.
LoudnessRef read_loudness_ref(const std::string& name);

}  // namespace testsupport
