#pragma once
// Bodies of the fuzz targets. libFuzzer drives them in the fuzz build (tests/fuzz/);
// the ordinary test suite runs them over a corpus of damaged real files, so the
// sanitizer build checks the same paths on every run.
#include <cstddef>
#include <cstdint>

namespace testsupport {

// Decodes both possible textures of arbitrary frame bytes with both callbacks.
int fuzz_hap_decode(const uint8_t* data, size_t size);

}  // namespace testsupport
