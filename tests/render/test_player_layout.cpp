#include <gtest/gtest.h>

#include <cstdlib>

#include "media/video_frame.h"
#include "render/player_layout.h"

TEST(PlayerLayout, TemplatesNamesAndImageTemplates) {
    const char* names[] = {"Default", "Image Overlay", "2D Vertex", "UV Map", "Unknown Template"};
    for (uint32_t code = 0; code < 5; ++code) {
        PlayerLayout layout(nullptr, code == 4 ? 7 : code);
        EXPECT_EQ(layout.templateName.toStdString(), names[code]);
        EXPECT_EQ(layout.isImageTemplate(), code < 2) << code;
    }
    PlayerLayout other(nullptr, 9);
    EXPECT_FALSE(other.isImageTemplate());
    EXPECT_EQ(other.data->templateCode, 9u);
}

TEST(PlayerLayout, FreshLayoutDefaultsAndUniqueIds) {
    PlayerLayout a;
    PlayerLayout b;
    EXPECT_NE(a.uuid, b.uuid);
    EXPECT_EQ(a.uuid.size(), 36);
    EXPECT_FALSE(a.uuid.contains('{'));
    const PlayerLayoutData* d = a.data;
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->templateCode, 0u);
    EXPECT_EQ(d->canvasWidth, 1920u);
    EXPECT_EQ(d->canvasHeight, 1080u);
    EXPECT_FLOAT_EQ(d->scale, 1.0f);
    EXPECT_EQ(d->entryCount, 0u);
    for (const PlayerLayoutLayer& layer : d->layers) {
        EXPECT_EQ(layer.visible, 1);
        EXPECT_EQ(layer.image, nullptr);
        EXPECT_EQ(layer.arrays[0], nullptr);
        EXPECT_FLOAT_EQ(layer.factor, 1.0f);
    }
}

TEST(PlayerLayout, LayersOwnTheirImagesAndArrays) {
    // The owned members are freed once, by the layout (checked under LeakSanitizer).
    auto* layout = new PlayerLayout(nullptr, 1);
    PlayerLayoutLayer& layer = layout->data->layers[1];
    layer.image = video_frame_new();
    dxt_frame_alloc(layer.image, 16, 16, VideoDataFormat_Hap1);
    layer.arrays[2] = static_cast<float*>(malloc(64));
    layout->data->arrays[0] = static_cast<float*>(malloc(32));
    PlayerLayout::freeLayer(&layout->data->layers[1]);
    EXPECT_EQ(layer.image, nullptr);
    EXPECT_EQ(layer.arrays[2], nullptr);
    layout->data->layers[0].image = video_frame_new();
    delete layout;
}
