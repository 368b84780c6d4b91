#include "tests/support/loudness_refs.h"

#include <cmath>
#include <fstream>
#include <limits>
#include <stdexcept>

#include "tests/support/test_movies.h"

namespace testsupport {

namespace {

double parse_value(const std::string& text) {
    if (text == "-inf") return -std::numeric_limits<double>::infinity();
    size_t used = 0;
    const double value = std::stod(text, &used);
    if (used != text.size()) throw std::runtime_error("bad value in loudness reference: " + text);
    return value;
}

}  // namespace

LoudnessRef read_loudness_ref(const std::string& name) {
    std::ifstream in(fixture_path(name + ".ref"));
    if (!in) throw std::runtime_error("missing loudness reference " + name);
    LoudnessRef ref;
    bool hasIntegrated = false;
    std::string line;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        const double value = parse_value(line.substr(eq + 1));
        if (key == "I") {
            ref.integrated = value;
            hasIntegrated = true;
        } else if (key.rfind("TP", 0) == 0) {
            ref.truePeaks[std::stoi(key.substr(2))] = value;
        }
    }
    if (!hasIntegrated) throw std::runtime_error("no integrated loudness in reference " + name);
    return ref;
}

}  // namespace testsupport
