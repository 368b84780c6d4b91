#include "tools/view_track_audio_map.h"

#include <QDebug>
#include <QPalette>

#include "audio/audio_src_track.h"
#include "tools/view_track_audio_channel_map.h"
#include "ui/view_btn_image.h"
#include "ui/view_file_link.h"
#include "ui/view_label.h"

ViewTrackAudioMap::ViewTrackAudioMap(QWidget* parent, AudioSrcTrack* track) : QWidget(parent), m_track(track) {
    setGeometry(0, 0, 100, 40);
    setAutoFillBackground(true);
    fillBackground();
    m_delete = new ViewBtnImage(this, QRect(0, 0, 16, 16), QStringLiteral(":/Rsc/RESSOURCES_UI/DELETE_01.png"));
    m_delete->setClickMode(1);
    connect(m_delete, &ViewBtnImage::ViewBtnImage_Clic, this, &ViewTrackAudioMap::act_btn_delete);
    m_link = new ViewFileLink(this, QRect(0, 0, 70, 25), 0);
    m_trackLabel = new ViewLabel(this, QRect(0, 0, 40, 25), QString(), 5);
    if (!track) {
        qDebug("Error : src_track null");
        m_trackLabel->hide();
        return;
    }
    m_movie = track->isMovieTrack();
    m_playable = track->isPlayable();
    const uint32_t channels = track->channels();
    if (channels == 0) qDebug("Err : invalid channel count (0)");
    m_link->setPath(track->name());
    if (m_movie) {
        const uint32_t number = track->descriptor() ? track->descriptor()->trackIndex + 1 : 1;
        m_trackLabel->setText(QStringLiteral("Tr %1").arg(number, 2, 10, QLatin1Char('0')));
    } else {
        m_trackLabel->hide();
    }
    for (uint32_t c = 0; c < channels; ++c) {
        auto* line = new ViewTrackAudioChannelMap(this, QRect(0, 0, 50, kChannelHeight), c);
        if (m_playable) {
            line->setMask(track->channelMapping(int(c)));
            connect(line, &ViewTrackAudioChannelMap::ViewAudioChannelMap_Channel, this,
                    &ViewTrackAudioMap::ViewAudioChannelMap_Channel);
        } else {
            line->clearAndDisable();
        }
        m_lines.append(line);
    }
}

void ViewTrackAudioMap::fillBackground() {
    QPalette colours = palette();
    colours.setColor(QPalette::Window,
                     m_visibleIndex % 2 == 0 ? QColor(18, 33, 42, 255) : QColor(15, 28, 36, 255));
    setPalette(colours);
}

void ViewTrackAudioMap::hideDeleteButton() {
    m_deleteHidden = true;
    m_delete->hide();
}

void ViewTrackAudioMap::setVisibleIndex(uint32_t index) {
    m_visibleIndex = index;
    fillBackground();
}

void ViewTrackAudioMap::setChannelLayout(uint32_t layout) {
    for (ViewTrackAudioChannelMap* line : m_lines) line->setChannelLayout(layout);
    updateLayout();
}

void ViewTrackAudioMap::act_btn_delete() { emit ViewAudioMap_DeleteTrack(m_visibleIndex); }

void ViewTrackAudioMap::ViewAudioChannelMap_Channel(uint32_t channel, uint64_t mask) {
    if (!m_track) return;
    m_track->setChannelMapping(mask, int(channel));
    emit ViewAudioMap_MappingChange();
}

void ViewTrackAudioMap::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateLayout();
}

void ViewTrackAudioMap::updateLayout() {
    const int w = width();
    const int d = m_delete->width();
    m_delete->move(0, 0);
    const int grid = m_lines.isEmpty() ? 0 : m_lines.first()->contentWidth();
    int x = w - grid - 5;
    if (m_movie) {
        m_trackLabel->move(x - m_trackLabel->width() - 5, 7);
        x -= m_trackLabel->width() + 5;
    }
    const int linkWidth = x - d - 10;
    m_link->setGeometry(d + 5, 5, std::max(1, linkWidth), 25);
    m_link->setVisible(m_track && linkWidth > 5);
    for (int c = 0; c < m_lines.size(); ++c)
        m_lines[c]->setGeometry(w - grid - 5, kChannelHeight * c, grid, kChannelHeight);
}
