#include "base/settings/display_modes.h"

#include <QDebug>
#include <QString>
#include <cstdio>

const DisplayModeRule& display_mode_rule(DisplayModeKind kind) {
    static const DisplayModeRule rules[] = {
        {5, 0, "Unknown BaseGpu2dCanvas_BackgroundMode val : %1 (default Black)"},
        {2, 0, "Unknown alpha Mode val : %1 (default premult)"},
        {3, 0, "Unknown BaseGpu2dCanvas_ChannelMode val : %1 (default RGBA)"},
        {3, 1, "Unknown scaling Mode val : %1 (default bilinear)"},
        {2, 0, "Unknown crop box display Mode val : %1 (default video data)"},
    };
    return rules[static_cast<uint32_t>(kind)];
}

uint32_t display_mode_or_default(DisplayModeKind kind, uint32_t value, ModeLineTo to) {
    const DisplayModeRule& rule = display_mode_rule(kind);
    if (value < rule.count) return value;
    const QString line = QString::fromLatin1(rule.unknown_line).arg(value);
    if (to == ModeLineTo::Console) {
        std::printf("%s\n", line.toLocal8Bit().constData());
        std::fflush(stdout);
    } else {
        qDebug().noquote() << line;
    }
    return rule.fallback;
}
