#pragma once
// One source channel's line of the audio mapping grid: the label "Ch NN" and one
// toggle button per output channel of the layout. A plain click routes the channel to
// that output only; a Ctrl-click adds or removes one output. The new 64-bit output
// mask is reported with ViewAudioChannelMap_Channel; the line itself keeps no routing
// (the mask lives in the audio source). GUI thread only.
#include <QList>
#include <QWidget>
#include <cstdint>

class ViewBtnImage;
class ViewLabel;

class ViewTrackAudioChannelMap : public QWidget {
    Q_OBJECT
public:
    static constexpr uint32_t kButtons = 8;
    static constexpr int kButtonSize = 32;
    static constexpr int kButtonGap = 5;
    static constexpr int kLabelWidth = 35;
    static constexpr int kLabelHeight = 20;

    ViewTrackAudioChannelMap(QWidget* parent, const QRect& geometry, uint32_t channel);

    // A value of 5 or more is logged and ignored; else the first (channel count)
    // buttons show.
    void setChannelLayout(uint32_t layout);
    // Button i on when bit i is set (i < 8), without signal.
    void setMask(uint64_t mask);
    uint64_t mask() const;
    // Every button off and dimmed.
    void clearAndDisable();
    int contentWidth() const;

    uint32_t channel() const { return m_channel; }
    uint32_t layout() const { return m_layout; }
    ViewLabel* label() const { return m_label; }
    ViewBtnImage* button(uint32_t index) const { return m_buttons.value(int(index)); }

signals:
    void ViewAudioChannelMap_Channel(uint32_t channel, uint64_t mask);

public slots:
    void ViewBtnImage_Clic(uint32_t senderTag, Qt::KeyboardModifiers flags);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateLayout();
    bool isOn(uint32_t index) const;
    void setOn(uint32_t index, bool on);

    uint32_t m_channel = 0;
    uint32_t m_layout = 4;
    uint32_t m_visibleButtons = kButtons;
    ViewLabel* m_label = nullptr;
    QList<ViewBtnImage*> m_buttons;
};
