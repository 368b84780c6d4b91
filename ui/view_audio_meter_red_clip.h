#pragma once
// ViewAudioMeterRedClip: the clip lamp of one audio meter channel, red RGB(245,70,70)
// while lit and enabled, else dark RGB(23,29,35); disabled it is dimmed to 0.6.
// Owned by its Qt parent. GUI thread only.
#include <QRect>
#include <QWidget>

class ViewAudioMeterRedClip : public QWidget {
    Q_OBJECT
public:
    ViewAudioMeterRedClip(QWidget* parent, const QRect& geometry);

    void setEnabledLook(bool enabled);
    void setClip(bool clip);
    bool isClip() const { return m_clip; }

private:
    void recolour();

    bool m_enabled = true;
    bool m_clip = false;
};
