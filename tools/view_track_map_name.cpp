#include "tools/view_track_map_name.h"

#include "ui/view_label.h"

QStringList audio_mapping_output_names(uint32_t layout) {
    switch (layout) {
    case 0: return {"C"};
    case 1: return {"L", "R"};
    case 2: return {"L", "R", "C", "Lfe", "Ls", "Rs"};
    case 3: return {"L", "R", "L", "R"};
    case 4: return {"L", "R", "C", "Lfe", "Lss", "Rss", "Lrs", "Rrs"};
    default: return {};
    }
}

ViewTrackMapName::ViewTrackMapName(QWidget* parent, const QRect& geometry) : QWidget(parent) {
    setGeometry(geometry);
    for (int i = 0; i < 8; ++i) {
        auto* label = new ViewLabel(this, QRect(0, 0, 32, 16), QString(), 5);
        label->alignCenter();
        m_labels.append(label);
    }
    setChannelLayout(4);
}

void ViewTrackMapName::setChannelLayout(uint32_t layout) {
    m_layout = layout;
    const QStringList names = audio_mapping_output_names(layout);
    for (int i = 0; i < m_labels.size(); ++i) {
        m_labels[i]->setText(i < names.size() ? names[i] : QString());
        m_labels[i]->setVisible(i < names.size());
    }
    updateLayout();
}

void ViewTrackMapName::updateLayout() {
    // From the last name to the first, right to left above the grid's columns.
    const int count = int(audio_mapping_output_names(m_layout).size());
    int x = width() - 42;
    for (int i = count - 1; i >= 0; --i) {
        m_labels[i]->setGeometry(x, (height() - 16) / 2, 32, 16);
        x -= 37;
    }
}

void ViewTrackMapName::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateLayout();
}
