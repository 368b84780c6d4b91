#pragma once
// The ordered collection of audio sources the main window edits: movie tracks first,
// then companion files. It chooses the output layout from the sources' masks and
// gives the routing table, the unfed output channels and the information-panel
// summary. GUI thread only; the fill job must be stopped while it changes.
#include <QList>
#include <QObject>
#include <QStringList>
#include <cstdint>

#include "base/pcm/channel_layouts.h"

class AudioSrcTrack;

class AllAudioSrcTracks : public QObject {
    Q_OBJECT
public:
    explicit AllAudioSrcTracks(QObject* parent = nullptr);
    ~AllAudioSrcTracks() override;

    const QList<AudioSrcTrack*>& tracks() const { return m_tracks; }
    int size() const { return int(m_tracks.size()); }

    void addTrack(AudioSrcTrack* track);
    void addTracks(const QList<AudioSrcTrack*>& tracks);
    void insertTracksAt(const QList<AudioSrcTrack*>& tracks, int visibleIndex);
    int indexOfVisible(int visibleIndex) const;
    // Movie tracks are only deactivated; a companion file is taken out of the list and
    // handed back to the caller, who then owns it (null otherwise).
    AudioSrcTrack* deleteVisibleTrack(int visibleIndex);
    void deleteAll();
    void clear();
    void activateAll();
    void clearMovieTrackMappings();
    void setInOutSeconds(double inSeconds, double outSeconds);

    uint32_t outputLayout() const { return m_outputLayout; }
    void setOutputLayout(uint32_t layout) { m_outputLayout = layout; }
    void autoSelectLayout();

    QList<AudioSrcTrack*> movieTracks() const;
    QList<AudioSrcTrack*> wavTracks() const;
    uint32_t totalChannels() const;
    int countWavTracks() const;
    int countPlayable() const;
    int countUnplayable() const;
    bool hasRoutedTrack() const;
    void routedChannelMasks(QList<uint64_t>& out) const;
    uint64_t unusedOutputMask() const;
    QStringList summaryText() const;

private:
    QList<AudioSrcTrack*> m_tracks;
    uint32_t m_outputLayout = NAudioChannelLayout_Stereo;
};
