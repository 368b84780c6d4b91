#pragma once
// The floating "Audio mapping" panel: the output layout combo, a header naming the
// output channels and one row per audio source (movie PCM tracks first, then the
// companion WAV files), each with a grid line per source channel that routes it to
// output channels. Grid clicks write straight into the sources and are reported with
// PanelAudioMap_MappingChange; WAV files dropped on the panel are reported with the
// row position they were dropped at; the delete buttons report the visible index.
//
// Owned by the main window (no Qt parent). The rows point at sources of the track
// list given to rebuildTrackViews: the owner rebuilds the rows whenever that list
// changes. GUI thread only.
#include <QList>
#include <QPointer>
#include <QStringList>
#include <cstdint>

#include "ui/base_dialog_widget.h"
#include "ui/view_items_sub_menu.h"  // QPointer needs the whole type

class AllAudioSrcTracks;
class DataSourceSubMenu;
class ViewBarInsertScroll;
class ViewCombobox2;
class ViewSimpleScroll;
class ViewTrackAudioMap;
class ViewTrackMapName;

// Combo entry to output layout and back ("Mono", "Stereo", "Dual Stereo", "5.1",
// "7.1" are layouts 0, 1, 3, 2, 4); -1 for a value outside the table.
int32_t audio_mapping_layout_for_index(int32_t index);
int32_t audio_mapping_index_for_layout(uint32_t layout);

class PanelAudioMapping : public BaseDialogWidget {
    Q_OBJECT
public:
    static constexpr uint32_t kComboTag = 1;

    explicit PanelAudioMapping(QWidget* parent);
    ~PanelAudioMapping() override;

    void rebuildTrackViews(AllAudioSrcTracks* tracks);
    // Shows `layout` in the combo, the header and every row; emits nothing.
    void setChannelLayout(uint32_t layout);
    // Delete buttons on movie-track rows (taken at the next rebuild).
    void setAllowDelete(bool allow) { m_allowDelete = allow ? 1 : 0; }
    void applyLayoutCombo();
    // The visible index a drop at `point` (panel coordinates) inserts at: the movie
    // row count over the movie rows, else the first row that starts below the point;
    // -1 above the list or below every row (append).
    int32_t trackIndexAt(const QPoint& point) const;
    void updateLayout();

    ViewCombobox2* layoutCombo() const { return m_combo; }
    ViewTrackMapName* header() const { return m_header; }
    ViewSimpleScroll* scrollView() const { return m_scroll; }
    ViewBarInsertScroll* dropMarker() const { return m_marker; }
    ViewItemsSubMenu* openSubMenu() const { return m_subMenu; }
    const QList<ViewTrackAudioMap*>& rows() const { return m_rows; }
    uint32_t movieRowCount() const { return m_movieRows; }

signals:
    void PanelAudioMap_LayoutChange(uint32_t layout);
    void PanelAudioMap_DeleteTrack(uint32_t visibleIndex);
    void PanelAudioMap_MappingChange();
    void PanelAudioMap_DropFiles(QStringList paths, int32_t visibleIndex);
    void close_panel();

public slots:
    void ViewAudioMap_DeleteTrack(uint32_t visibleIndex);
    void ViewAudioMap_MappingChange();
    void ViewCombobox2_Clic(uint32_t senderTag, DataSourceSubMenu* source);
    void ViewCombobox2_ValueChanged(uint32_t senderTag);
    void viewItemsSubMenuCancel(const QString& text, uint32_t senderTag);
    void viewItemsSubMenuClose(const QString& text, uint32_t senderTag, uint32_t index, uint32_t section);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void giveLayout(uint32_t layout);

    ViewCombobox2* m_combo = nullptr;
    ViewTrackMapName* m_header = nullptr;
    QList<ViewTrackAudioMap*> m_rows;
    ViewSimpleScroll* m_scroll = nullptr;
    ViewBarInsertScroll* m_marker = nullptr;
    QPointer<ViewItemsSubMenu> m_subMenu;
    uint8_t m_allowDelete = 0;
    uint32_t m_layout = 1;
    uint32_t m_movieRows = 0;
    int m_lastMovieRowTop = 2;
    int m_rowsBottom = 2;
};
