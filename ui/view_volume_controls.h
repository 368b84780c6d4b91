#pragma once
// ViewVolumeControls: the output volume of the player: a mute button, a slider of
// 0 to 150 % and the value text ("100%", or "Mute"). Every change is reported as
// viewVolumeMuted, or as viewVolumeGainChanged with the gain in dB,
// 20 * log10(gain^3) (unity 0 dB, 150 % about +10.57 dB). Dragging to 0 mutes and
// keeps the previous gain, which unmuting brings back; Ctrl-click on the text
// restores 100 %.
//
// Owned by its Qt parent. GUI thread only.
#include <QRect>
#include <QWidget>

#include <cstdint>

class ViewBtnImage;
class ViewLabel;
class ViewSlider;

class ViewVolumeControls : public QWidget {
    Q_OBJECT
public:
    ViewVolumeControls(QWidget* parent, const QRect& geometry);

    // Places the button, slider and text from the current size (also on resize).
    void updateLayout();
    void repaintSlider();

    float gain() const { return m_gain; }
    bool isMuted() const { return m_muted; }
    ViewBtnImage* muteButton() const { return m_muteButton; }
    ViewSlider* slider() const { return m_slider; }
    ViewLabel* valueText() const { return m_valueText; }

signals:
    void viewVolumeGainChanged(float nGainDb);
    void viewVolumeMuted();

public slots:
    void act_btn_mute();
    void act_slider_volume();
    void ViewLabel_Clic(uint32_t senderTag, Qt::KeyboardModifiers flags);
    void reset_volume();
    // Reports the current state again.
    void perform_action();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();

    ViewBtnImage* m_muteButton = nullptr;
    ViewSlider* m_slider = nullptr;
    ViewLabel* m_valueText = nullptr;
    float m_gain = 1.0f;
    bool m_muted = false;
};
