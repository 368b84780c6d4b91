#include "tests/support/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return testsupport::fuzz_file_to_play(data, size);
}
