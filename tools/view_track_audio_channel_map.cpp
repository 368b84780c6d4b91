#include "tools/view_track_audio_channel_map.h"

#include <QDebug>

#include "base/pcm/channel_layouts.h"
#include "ui/view_btn_image.h"
#include "ui/view_label.h"

ViewTrackAudioChannelMap::ViewTrackAudioChannelMap(QWidget* parent, const QRect& geometry, uint32_t channel)
    : QWidget(parent), m_channel(channel) {
    setGeometry(geometry);
    m_label = new ViewLabel(this, QRect(0, 0, kLabelWidth, kLabelHeight),
                            QStringLiteral("Ch %1").arg(channel + 1, 2, 10, QLatin1Char('0')), 5);
    const QStringList images = {QStringLiteral(":/Rsc/RESSOURCES_UI/GRILLE_bouton_OFF.png"),
                                QStringLiteral(":/Rsc/RESSOURCES_UI/GRILLE_bouton_ON.png")};
    for (uint32_t i = 0; i < kButtons; ++i) {
        auto* button = new ViewBtnImage(this, QRect(0, 0, kButtonSize, kButtonSize), images);
        // The line decides which buttons are lit: a press only bounces.
        button->setClickMode(1);
        button->setId(i);
        connect(button, &ViewBtnImage::ViewBtnImage_Clic, this, &ViewTrackAudioChannelMap::ViewBtnImage_Clic);
        m_buttons.append(button);
    }
    updateLayout();
}

void ViewTrackAudioChannelMap::setChannelLayout(uint32_t layout) {
    if (layout >= 5) {
        qDebug("Unknown channel layout : %d", int(layout));
        return;
    }
    m_layout = layout;
    m_visibleButtons = audio_layout_channel_count(layout);
    for (uint32_t i = 0; i < kButtons; ++i) m_buttons[int(i)]->setVisible(i < m_visibleButtons);
}

bool ViewTrackAudioChannelMap::isOn(uint32_t index) const { return m_buttons[int(index)]->imageIndex() == 1; }

void ViewTrackAudioChannelMap::setOn(uint32_t index, bool on) { m_buttons[int(index)]->setImageIndex(on ? 1 : 0, false); }

void ViewTrackAudioChannelMap::setMask(uint64_t mask) {
    for (uint32_t i = 0; i < kButtons; ++i) setOn(i, (mask >> i) & 1u);
}

uint64_t ViewTrackAudioChannelMap::mask() const {
    uint64_t mask = 0;
    for (uint32_t i = 0; i < kButtons; ++i)
        if (isOn(i)) mask |= uint64_t(1) << i;
    return mask;
}

void ViewTrackAudioChannelMap::clearAndDisable() {
    for (uint32_t i = 0; i < kButtons; ++i) {
        setOn(i, false);
        m_buttons[int(i)]->disable();
    }
}

int ViewTrackAudioChannelMap::contentWidth() const {
    return (kButtonSize + kButtonGap) * int(m_visibleButtons) + kLabelWidth + 10;
}

void ViewTrackAudioChannelMap::ViewBtnImage_Clic(uint32_t senderTag, Qt::KeyboardModifiers flags) {
    if (senderTag >= kButtons) {
        qDebug("Invalid tag btn map : %u", senderTag);
        return;
    }
    if (flags & Qt::ControlModifier) {
        setOn(senderTag, !isOn(senderTag));
    } else {
        // One output per source channel: nothing to do when it is already the only one.
        if (mask() == (uint64_t(1) << senderTag)) return;
        for (uint32_t i = 0; i < kButtons; ++i) setOn(i, i == senderTag);
    }
    emit ViewAudioChannelMap_Channel(m_channel, mask());
}

void ViewTrackAudioChannelMap::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateLayout();
}

void ViewTrackAudioChannelMap::updateLayout() {
    const int h = height();
    m_label->move(0, (h - kLabelHeight) / 2 + 3);
    for (uint32_t i = 0; i < kButtons; ++i)
        m_buttons[int(i)]->move(kLabelWidth + 10 + int(i) * (kButtonSize + kButtonGap), (h - kButtonSize) / 2);
}
