#include "audio/all_audio_src_tracks.h"

#include <QDebug>
#include <algorithm>

#include "audio/audio_src_track.h"

AllAudioSrcTracks::AllAudioSrcTracks(QObject* parent) : QObject(parent) {}

// The tracks belong to whoever created them until deleteAll.
AllAudioSrcTracks::~AllAudioSrcTracks() = default;

void AllAudioSrcTracks::addTrack(AudioSrcTrack* track) { m_tracks.append(track); }

void AllAudioSrcTracks::addTracks(const QList<AudioSrcTrack*>& tracks) { m_tracks.append(tracks); }

void AllAudioSrcTracks::insertTracksAt(const QList<AudioSrcTrack*>& tracks, int visibleIndex) {
    // Movie tracks stay ahead of the companion files: never insert before the first file.
    int firstWav = int(m_tracks.size());
    for (int i = 0; i < int(m_tracks.size()); ++i) {
        if (m_tracks[i]->isWavFile()) {
            firstWav = i;
            break;
        }
    }
    const int found = indexOfVisible(visibleIndex);
    const int position = found < 0 ? int(m_tracks.size()) : std::max(firstWav, found);
    if (position >= int(m_tracks.size())) {
        m_tracks.append(tracks);
        return;
    }
    for (int i = 0; i < int(tracks.size()); ++i) m_tracks.insert(position + i, tracks[i]);
}

int AllAudioSrcTracks::indexOfVisible(int visibleIndex) const {
    if (visibleIndex < 0) return -1;
    int visible = 0;
    for (int i = 0; i < int(m_tracks.size()); ++i) {
        if (m_tracks[i]->isRemoved()) continue;
        if (visible == visibleIndex) return i;
        ++visible;
    }
    return -1;
}

AudioSrcTrack* AllAudioSrcTracks::deleteVisibleTrack(int visibleIndex) {
    const int index = indexOfVisible(visibleIndex);
    if (index < 0) {
        qDebug("Can't find track to delete");
        return nullptr;
    }
    AudioSrcTrack* track = m_tracks[index];
    if (track->isWavFile()) {
        m_tracks.removeAt(index);
        return track;
    }
    track->deactivate();
    return nullptr;
}

void AllAudioSrcTracks::deleteAll() {
    qDeleteAll(m_tracks);
    m_tracks.clear();
}

void AllAudioSrcTracks::clear() { m_tracks.clear(); }

void AllAudioSrcTracks::activateAll() {
    for (AudioSrcTrack* track : m_tracks) track->activate();
}

void AllAudioSrcTracks::clearMovieTrackMappings() {
    for (AudioSrcTrack* track : m_tracks) {
        if (track->isMovieTrack()) track->clearChannelMapping();
    }
}

void AllAudioSrcTracks::setInOutSeconds(double inSeconds, double outSeconds) {
    for (AudioSrcTrack* track : m_tracks) track->setInOutSeconds(inSeconds, outSeconds);
}

void AllAudioSrcTracks::autoSelectLayout() {
    uint64_t all = 0;
    uint32_t channels = 0;
    int playable = 0, movies = 0;
    bool bothSides = true;
    QList<AudioSrcTrack*> chosen;
    for (AudioSrcTrack* track : m_tracks) {
        if (!track->isPlayable()) continue;
        all |= track->channelMaskUnion();
        channels += track->channels();
        ++playable;
        if (track->isMovieTrack()) ++movies;
        if (!track->defaultsToBothSides()) bothSides = false;
        chosen.append(track);
    }
    if (playable == 0) {
        m_outputLayout = NAudioChannelLayout_Stereo;
    } else if (all & 0xC0) {
        m_outputLayout = NAudioChannelLayout_7_1;
    } else if (all & 0x30) {
        m_outputLayout = NAudioChannelLayout_5_1;
    } else if (all & 0x0C) {
        m_outputLayout = NAudioChannelLayout_DualStereo;
    } else if (bothSides) {
        m_outputLayout = NAudioChannelLayout_Mono;
    } else {
        m_outputLayout = NAudioChannelLayout_Stereo;
        // Two stereo tracks of the movie: the second one becomes the second pair.
        if (channels == 4 && playable == 2 && movies == playable && chosen[1]->channels() == 2) {
            chosen[1]->moveToSecondPair();
            m_outputLayout = NAudioChannelLayout_DualStereo;
        }
    }
}

QList<AudioSrcTrack*> AllAudioSrcTracks::movieTracks() const {
    QList<AudioSrcTrack*> list;
    for (AudioSrcTrack* track : m_tracks) {
        if (track->isActiveWithDemuxer() && track->isMovieTrack()) list.append(track);
    }
    return list;
}

QList<AudioSrcTrack*> AllAudioSrcTracks::wavTracks() const {
    QList<AudioSrcTrack*> list;
    for (AudioSrcTrack* track : m_tracks) {
        if (track->isActiveWithDemuxer() && track->isWavFile()) list.append(track);
    }
    return list;
}

uint32_t AllAudioSrcTracks::totalChannels() const {
    uint32_t channels = 0;
    for (AudioSrcTrack* track : m_tracks) {
        if (track->isActiveWithDemuxer()) channels += track->channels();
    }
    return channels;
}

int AllAudioSrcTracks::countWavTracks() const {
    int count = 0;
    for (AudioSrcTrack* track : m_tracks) count += track->isWavFile() ? 1 : 0;
    return count;
}

int AllAudioSrcTracks::countPlayable() const {
    int count = 0;
    for (AudioSrcTrack* track : m_tracks) count += track->isPlayable() ? 1 : 0;
    return count;
}

int AllAudioSrcTracks::countUnplayable() const { return int(m_tracks.size()) - countPlayable(); }

bool AllAudioSrcTracks::hasRoutedTrack() const {
    for (AudioSrcTrack* track : m_tracks) {
        if (track->isRoutedTo(m_outputLayout)) return true;
    }
    return false;
}

void AllAudioSrcTracks::routedChannelMasks(QList<uint64_t>& out) const {
    for (AudioSrcTrack* track : m_tracks) {
        if (!track->isRoutedTo(m_outputLayout)) continue;
        for (uint32_t i = 0; i < track->channels(); ++i) out.append(track->channelMapping(int(i)));
    }
}

uint64_t AllAudioSrcTracks::unusedOutputMask() const {
    uint64_t unused = ~uint64_t(0);
    for (AudioSrcTrack* track : m_tracks) {
        if (track->isRemoved() || !track->isPlayable()) continue;
        unused &= track->unusedOutputMask(m_outputLayout);
    }
    return unused;
}

QStringList AllAudioSrcTracks::summaryText() const {
    QList<AudioSrcTrack*> movies;
    for (AudioSrcTrack* track : m_tracks) {
        if (track->isMovieTrack()) movies.append(track);
    }
    QStringList lines;
    if (movies.isEmpty()) return lines;
    if (movies.size() == 1) {
        lines.append(QStringLiteral("1 track : %1").arg(movies[0]->descriptorText()));
        return lines;
    }
    const AudioSrcTrack* first = movies[0];
    bool same = true;
    for (const AudioSrcTrack* track : movies) {
        if (track->channels() != first->channels() || track->frequency() != first->frequency() ||
            track->isPlayable() != first->isPlayable() || track->codec() != first->codec()) {
            same = false;
            break;
        }
    }
    if (same) {
        lines.append(QStringLiteral("%1 tracks : %2").arg(movies.size()).arg(first->descriptorText()));
        return lines;
    }
    for (const AudioSrcTrack* track : movies) lines.append(track->descriptorText());
    return lines;
}
