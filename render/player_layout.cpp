#include "render/player_layout.h"

#include <QUuid>
#include <cstdlib>

#include "media/video_frame.h"

QString player_layout_template_name(uint32_t templateCode) {
    switch (templateCode) {
        case PlayerLayoutTemplate_Default: return QStringLiteral("Default");
        case PlayerLayoutTemplate_ImageOverlay: return QStringLiteral("Image Overlay");
        case PlayerLayoutTemplate_2DVertex: return QStringLiteral("2D Vertex");
        case PlayerLayoutTemplate_UVMap: return QStringLiteral("UV Map");
        default: return QStringLiteral("Unknown Template");
    }
}

PlayerLayout::PlayerLayout(QObject* parent, uint32_t templateCode) : QObject(parent) {
    data = createVertexRecord();
    data->templateCode = templateCode;
    templateName = player_layout_template_name(templateCode);
    uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
}

PlayerLayout::~PlayerLayout() {
    if (!data) return;
    for (PlayerLayoutLayer& layer : data->layers) freeLayer(&layer);
    for (float*& array : data->arrays) {
        free(array);
        array = nullptr;
    }
    delete data;
    data = nullptr;
}

PlayerLayoutData* PlayerLayout::createVertexRecord() { return new PlayerLayoutData; }

void PlayerLayout::freeLayer(PlayerLayoutLayer* layer) {
    if (!layer) return;
    for (float*& array : layer->arrays) {
        free(array);
        array = nullptr;
    }
    video_frame_free(&layer->image);
}

bool PlayerLayout::isImageTemplate() const { return data && data->templateCode < 2; }
