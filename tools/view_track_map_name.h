#pragma once
// The header of the audio mapping grid: the names of the output channels of the
// current layout, each above its column of grid buttons. GUI thread only.
#include <QList>
#include <QStringList>
#include <QWidget>
#include <cstdint>

class ViewLabel;

// Output channel names of a layout as the mapping grid shows them (empty for an
// unknown layout).
QStringList audio_mapping_output_names(uint32_t layout);

class ViewTrackMapName : public QWidget {
    Q_OBJECT
public:
    ViewTrackMapName(QWidget* parent, const QRect& geometry);

    // An unknown layout shows no name.
    void setChannelLayout(uint32_t layout);
    uint32_t layout() const { return m_layout; }
    // The labels in channel order; only the layout's first ones are shown.
    const QList<ViewLabel*>& labels() const { return m_labels; }
    void updateLayout();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    uint32_t m_layout = 4;
    QList<ViewLabel*> m_labels;
};
