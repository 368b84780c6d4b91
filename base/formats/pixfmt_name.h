#pragma once
// Display names of the pixel formats, as they appear in diagnostics and reports.
#include <cstdint>

// Returns a static, null-terminated name; any code above 39 gives "Unknown pix fmt".
const char* pixfmt_name(uint32_t pixel_format) noexcept;
