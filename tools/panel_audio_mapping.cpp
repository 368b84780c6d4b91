#include "tools/panel_audio_mapping.h"

#include <QCloseEvent>
#include <QDebug>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QScrollArea>
#include <QUrl>

#include "audio/all_audio_src_tracks.h"
#include "audio/audio_src_track.h"
#include "tools/view_track_audio_map.h"
#include "tools/view_track_map_name.h"
#include "ui/data_item_menu.h"
#include "ui/view_bar_insert_scroll.h"
#include "ui/view_combobox2.h"
#include "ui/view_items_popup.h"
#include "ui/view_simple_scroll.h"

namespace {
constexpr int32_t kLayoutOfIndex[5] = {0, 1, 3, 2, 4};
constexpr int kRowGap = 2;
}  // namespace

int32_t audio_mapping_layout_for_index(int32_t index) {
    return index >= 0 && index < 5 ? kLayoutOfIndex[index] : -1;
}

int32_t audio_mapping_index_for_layout(uint32_t layout) {
    for (int32_t i = 0; i < 5; ++i)
        if (uint32_t(kLayoutOfIndex[i]) == layout) return i;
    return -1;
}

PanelAudioMapping::PanelAudioMapping(QWidget* parent)
    : BaseDialogWidget(parent, QStringLiteral("Audio mapping"), 600, 300) {
    resize(int(defaultWidth()), int(defaultHeight()));
    m_header = new ViewTrackMapName(this, QRect(5, 15, 590, 20));
    m_combo = new ViewCombobox2(this, QRect(10, 10, 120, 25));
    m_combo->tag = kComboTag;
    m_combo->dataSource()->setItems({"Mono", "Stereo", "Dual Stereo", "5.1", "7.1"});
    m_combo->setCurrentIndex(1);
    connect(m_combo, &ViewCombobox2::ViewCombobox2_Clic, this, &PanelAudioMapping::ViewCombobox2_Clic);
    connect(m_combo, &ViewCombobox2::ViewCombobox2_ValueChanged, this, &PanelAudioMapping::ViewCombobox2_ValueChanged);
    m_scroll = new ViewSimpleScroll(this, QRect(5, 45, 590, 250));
    m_marker = new ViewBarInsertScroll(m_scroll->contentWidget(), QRect(0, 0, 580, 2));
    m_marker->hide();
    setAcceptDrops(true);
    applyLayoutCombo();
    updateLayout();
}

PanelAudioMapping::~PanelAudioMapping() { view_items_popup_close(m_subMenu); }

void PanelAudioMapping::giveLayout(uint32_t layout) {
    m_layout = layout;
    m_header->setChannelLayout(layout);
    for (ViewTrackAudioMap* row : m_rows) row->setChannelLayout(layout);
}

void PanelAudioMapping::applyLayoutCombo() {
    int32_t index = m_combo->currentIndex();
    int32_t layout = audio_mapping_layout_for_index(index);
    if (layout < 0) {
        qDebug("Error unknown layout mapping (default 51)");
        layout = 2;
        index = 3;
    }
    m_combo->setCurrentIndex(index);
    giveLayout(uint32_t(layout));
    emit PanelAudioMap_LayoutChange(uint32_t(layout));
}

void PanelAudioMapping::setChannelLayout(uint32_t layout) {
    const int32_t index = audio_mapping_index_for_layout(layout);
    if (index < 0) {
        qDebug("Error unknown layout : %d", int(layout));
        return;
    }
    m_combo->setCurrentIndex(index);
    giveLayout(layout);
}

void PanelAudioMapping::rebuildTrackViews(AllAudioSrcTracks* tracks) {
    for (ViewTrackAudioMap* row : m_rows) {
        row->hide();
        row->deleteLater();
    }
    m_rows.clear();
    uint32_t visible = 0;
    int y = kRowGap;
    m_movieRows = 0;
    m_lastMovieRowTop = kRowGap;
    const QList<AudioSrcTrack*> list = tracks ? tracks->tracks() : QList<AudioSrcTrack*>();
    for (AudioSrcTrack* track : list) {
        if (!track || track->isRemoved()) continue;
        auto* row = new ViewTrackAudioMap(m_scroll->contentWidget(), track);
        row->setVisibleIndex(visible);
        row->setChannelLayout(tracks->outputLayout());
        connect(row, &ViewTrackAudioMap::ViewAudioMap_DeleteTrack, this, &PanelAudioMapping::ViewAudioMap_DeleteTrack);
        connect(row, &ViewTrackAudioMap::ViewAudioMap_MappingChange, this,
                &PanelAudioMapping::ViewAudioMap_MappingChange);
        row->setGeometry(0, y, 580, row->contentHeight());
        row->updateLayout();
        row->stackUnder(m_marker);
        row->show();
        if (track->isMovieTrack()) {
            ++m_movieRows;
            m_lastMovieRowTop = y;
            if (!m_allowDelete) row->hideDeleteButton();
        }
        m_rows.append(row);
        ++visible;
        y += row->contentHeight() + kRowGap;
    }
    m_rowsBottom = y;
    m_scroll->contentWidget()->resize(m_scroll->contentWidget()->width(), y + kRowGap);
    updateLayout();
}

void PanelAudioMapping::updateLayout() {
    const int w = width();
    const int h = height();
    m_header->setGeometry(5, 15, w - 10, 20);
    m_header->updateLayout();
    m_combo->move(10, 10);
    m_scroll->setGeometry(5, 45, w - 10, std::max(1, h - 50));
    int y = kRowGap;
    for (ViewTrackAudioMap* row : m_rows) {
        row->setGeometry(0, y, w - 10, row->contentHeight());
        y += row->contentHeight() + kRowGap;
    }
    QWidget* content = m_scroll->contentWidget();
    content->setGeometry(0, 0, w - 10, std::max(content->height(), 1));
    m_marker->setGeometry(m_marker->x(), m_marker->y(), w - 10, m_marker->height());
    m_scroll->updateLayout();
}

int32_t PanelAudioMapping::trackIndexAt(const QPoint& point) const {
    if (point.y() < m_scroll->y()) return -1;
    const QPoint inContent = m_scroll->contentWidget()->mapFrom(this, point);
    // Files always go after the movie tracks.
    if (inContent.y() <= m_lastMovieRowTop) return int32_t(m_movieRows);
    for (int i = 0; i < m_rows.size(); ++i)
        if (m_rows[i]->y() >= inContent.y()) return i;
    return -1;
}

void PanelAudioMapping::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData() && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void PanelAudioMapping::dragMoveEvent(QDragMoveEvent* event) {
    const QPoint point = event->position().toPoint();
    if (!rect().contains(point)) {
        m_marker->hide();
        return;
    }
    const int32_t index = trackIndexAt(point);
    const int top = (index >= 0 && index < m_rows.size()) ? m_rows[index]->y() - kRowGap : m_rowsBottom - kRowGap;
    m_marker->setGeometry(0, std::max(0, top), m_marker->width(), m_marker->height());
    m_marker->raise();
    m_marker->show();
    event->acceptProposedAction();
}

void PanelAudioMapping::dropEvent(QDropEvent* event) {
    m_marker->hide();
    const QPoint point = event->position().toPoint();
    if (!rect().contains(point)) return;
    int32_t index = trackIndexAt(point);
    if (index >= m_rows.size()) index = -1;
    QStringList paths;
    if (event->mimeData()) {
        for (const QUrl& url : event->mimeData()->urls())
            if (url.isLocalFile()) paths.append(url.toLocalFile());
    }
    if (paths.isEmpty()) return;
    event->acceptProposedAction();
    emit PanelAudioMap_DropFiles(paths, index);
}

void PanelAudioMapping::ViewAudioMap_DeleteTrack(uint32_t visibleIndex) { emit PanelAudioMap_DeleteTrack(visibleIndex); }

void PanelAudioMapping::ViewAudioMap_MappingChange() { emit PanelAudioMap_MappingChange(); }

void PanelAudioMapping::ViewCombobox2_Clic(uint32_t senderTag, DataSourceSubMenu* source) {
    view_items_popup_open(this, m_subMenu, source, senderTag, rect());
}

void PanelAudioMapping::ViewCombobox2_ValueChanged(uint32_t senderTag) {
    if (senderTag != kComboTag) {
        qDebug("Unknown combobox : %lu", static_cast<unsigned long>(senderTag));
        return;
    }
    applyLayoutCombo();
}

void PanelAudioMapping::viewItemsSubMenuCancel(const QString&, uint32_t) { view_items_popup_close(m_subMenu); }

void PanelAudioMapping::viewItemsSubMenuClose(const QString&, uint32_t senderTag, uint32_t index, uint32_t) {
    if (senderTag == kComboTag) {
        m_combo->setCurrentIndex(int32_t(index));
        applyLayoutCombo();
    } else {
        qDebug("Unknown combobox : %lu", static_cast<unsigned long>(senderTag));
    }
    view_items_popup_close(m_subMenu);
}


void PanelAudioMapping::resizeEvent(QResizeEvent* event) {
    BaseDialogWidget::resizeEvent(event);
    updateLayout();
}

void PanelAudioMapping::closeEvent(QCloseEvent* event) {
    view_items_popup_close(m_subMenu);
    emit close_panel();
    BaseDialogWidget::closeEvent(event);
}
