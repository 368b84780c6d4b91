#pragma once
// ViewBtnMuteSolo: the "M" (mute) or "S" (solo) toggle of one audio channel. A left
// click on the letter flips it, recolours it (mute on RGB(185,105,0), solo on
// RGB(195,26,200), off RGB(29,54,69)) and sends viewBtnMuteChanged or
// viewBtnSoloChanged with the channel number. Disabled (opacity 0.3) it ignores
// clicks, shows the off colour and reports off.
//
// The widget's own geometry is the owner's to set; the constructor's rectangle
// places the letter inside it. Owned by its Qt parent. GUI thread only.
#include <QRect>
#include <QWidget>

#include <cstdint>

class ViewLabel;

class ViewBtnMuteSolo : public QWidget {
    Q_OBJECT
public:
    // kind 0 mute, any other value solo.
    ViewBtnMuteSolo(QWidget* parent, const QRect& labelGeometry, uint32_t channelNum, uint32_t kind);

    // True only when enabled and on.
    bool isOn() const { return m_enabled && m_on; }
    void setEnabledLook(bool enabled);
    bool isEnabledLook() const { return m_enabled; }

signals:
    void viewBtnMuteChanged(uint32_t channelNum);
    void viewBtnSoloChanged(uint32_t channelNum);

public slots:
    void ViewLabel_Clic(uint32_t senderTag, Qt::KeyboardModifiers flags);

private:
    void applyColor();

    bool m_on = false;
    bool m_enabled = true;
    uint32_t m_kind = 0;
    uint32_t m_channelNum = 0;
    ViewLabel* m_label = nullptr;
};
