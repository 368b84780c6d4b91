#include "Rsc/ui_resources.h"

namespace {

// Generated from Rsc/images.txt and the font list of Rsc/CMakeLists.txt, the same
// lists that decide what is rendered and embedded.
constexpr UiImageResource kImages[] = {
#include "ui_resource_images.inc"
};

constexpr const char* kFonts[] = {
#include "ui_resource_fonts.inc"
};

}  // namespace

std::span<const UiImageResource> uiImageResources() { return kImages; }

std::span<const char* const> uiFontResources() { return kFonts; }
