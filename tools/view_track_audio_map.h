#pragma once
// One audio source in the mapping panel: a delete button, the source's file link, the
// movie track number ("Tr NN", movie tracks only) and one grid line per source
// channel. A grid click writes the channel's new output mask into the source and
// reports ViewAudioMap_MappingChange; the delete button reports the row's visible
// index.
//
// The source is not owned. The row reads it once, when it is built; afterwards it
// only writes a mask into it on a grid click. A row built without a source is an
// empty row that never touches one. A source that cannot be played gets dimmed lines
// that report nothing. GUI thread only.
#include <QList>
#include <QWidget>
#include <cstdint>

class AudioSrcTrack;
class ViewBtnImage;
class ViewFileLink;
class ViewLabel;
class ViewTrackAudioChannelMap;

class ViewTrackAudioMap : public QWidget {
    Q_OBJECT
public:
    static constexpr int kChannelHeight = 40;

    ViewTrackAudioMap(QWidget* parent, AudioSrcTrack* track);

    int contentHeight() const { return int(m_lines.size()) * kChannelHeight; }
    void hideDeleteButton();
    void setVisibleIndex(uint32_t index);
    uint32_t visibleIndex() const { return m_visibleIndex; }
    void setChannelLayout(uint32_t layout);
    void updateLayout();

    bool isMovieTrack() const { return m_movie; }
    bool isPlayable() const { return m_playable; }
    const QList<ViewTrackAudioChannelMap*>& channelLines() const { return m_lines; }
    ViewBtnImage* deleteButton() const { return m_delete; }
    ViewFileLink* fileLink() const { return m_link; }
    ViewLabel* trackLabel() const { return m_trackLabel; }

signals:
    void ViewAudioMap_DeleteTrack(uint32_t visibleIndex);
    void ViewAudioMap_MappingChange();

public slots:
    void act_btn_delete();
    void ViewAudioChannelMap_Channel(uint32_t channel, uint64_t mask);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fillBackground();

    AudioSrcTrack* m_track = nullptr;
    uint32_t m_visibleIndex = 0;
    bool m_movie = false;
    bool m_playable = false;
    bool m_deleteHidden = false;
    ViewBtnImage* m_delete = nullptr;
    ViewFileLink* m_link = nullptr;
    ViewLabel* m_trackLabel = nullptr;
    QList<ViewTrackAudioChannelMap*> m_lines;
};
