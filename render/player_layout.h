#pragma once
// The arrangement the video renderer draws: a template, an identifier and a data
// record. The renderer reads only the template code; the parameters, flags and arrays
// are carried, with their starting values, for the layout templates.
#include <QObject>
#include <QString>
#include <cstdint>

struct VideoFrame;

enum PlayerLayoutTemplate : uint32_t {
    PlayerLayoutTemplate_Default = 0,
    PlayerLayoutTemplate_ImageOverlay = 1,
    PlayerLayoutTemplate_2DVertex = 2,
    PlayerLayoutTemplate_UVMap = 3,
};

struct PlayerLayoutLayer {
    uint8_t kind = 0;
    uint32_t count = 1;
    float factor = 1.0f;
    float* arrays[3] = {nullptr, nullptr, nullptr};  // owned (malloc)
    uint64_t userValue = 0;
    uint8_t visible = 1;
    uint8_t flags[2] = {0, 0};
    VideoFrame* image = nullptr;  // owned
};

struct PlayerLayoutData {
    uint32_t templateCode = PlayerLayoutTemplate_Default;
    uint32_t parameters[2] = {0, 0};
    uint8_t enabled = 1;
    float scale = 1.0f;
    PlayerLayoutLayer layers[3];
    float* arrays[3] = {nullptr, nullptr, nullptr};  // owned (malloc)
    uint32_t entryCount = 0;                         // entries of arrays[2]
    uint8_t flags[2] = {1, 0};
    uint32_t canvasWidth = 1920;
    uint32_t canvasHeight = 1080;
};

// Name of a template code; any unknown code gives "Unknown Template".
QString player_layout_template_name(uint32_t templateCode);

class PlayerLayout : public QObject {
    Q_OBJECT
public:
    explicit PlayerLayout(QObject* parent = nullptr, uint32_t templateCode = PlayerLayoutTemplate_Default);
    ~PlayerLayout() override;
    PlayerLayout(const PlayerLayout&) = delete;
    PlayerLayout& operator=(const PlayerLayout&) = delete;

    static PlayerLayoutData* createVertexRecord();
    static void freeLayer(PlayerLayoutLayer* layer);
    // "Default" and "Image Overlay": the templates over which guides are drawn.
    bool isImageTemplate() const;

    PlayerLayoutData* data = nullptr;
    QString templateName;
    QString description;
    QString uuid;
};
