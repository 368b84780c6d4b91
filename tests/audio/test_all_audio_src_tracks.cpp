#include <gtest/gtest.h>

#include <QPointer>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "audio/all_audio_src_tracks.h"
#include "base/pcm/audio_data.h"
#include "audio/audio_src_track.h"
#include "base/pcm/channel_layouts.h"
#include "media/mov_file.h"
#include "tests/support/audio_src_files.h"
#include "tests/support/test_movies.h"

namespace {

// A movie PCM track without its movie: enough for every collection operation.
AudioSrcTrack* movie_track(std::vector<uint64_t> masks, uint32_t frequency = 48000,
                           uint32_t codec = AudioPcmCodec_S16LE) {
    return new AudioSrcTrack(QStringLiteral("movie.mov"), 0, uint32_t(masks.size()), frequency, codec, masks.data(),
                             48000);
}

AudioSrcTrack* undecodable_track(uint32_t channels, const char (&code)[5]) {
    std::vector<uint64_t> masks(channels, 3);
    return new AudioSrcTrack(QStringLiteral("movie.mov"), 0, channels, 48000, mov_fourcc(code), masks.data());
}

// A mono companion file whose name ends with `suffix` (for instance "_LFE").
AudioSrcTrack* mono_wav(const std::string& suffix) {
    return new AudioSrcTrack(
        QString::fromStdString(testsupport::copy_fixture_as("asrc_mono.wav", "voice" + suffix + ".wav")));
}

// Owns the tracks of a collection for the length of a test.
struct Collection {
    AllAudioSrcTracks all;
    ~Collection() { all.deleteAll(); }
};

std::vector<uint64_t> masks_of(const AudioSrcTrack* track) {
    std::vector<uint64_t> masks;
    for (uint32_t i = 0; i < track->channels(); ++i) masks.push_back(track->channelMapping(int(i)));
    return masks;
}

TEST(AllAudioSrcTracks, OutputLayoutFollowsTheSourcesMasks) {
    {  // Two stereo movie tracks: the second one moves to the second pair.
        Collection c;
        AudioSrcTrack* first = movie_track({1, 2});
        AudioSrcTrack* second = movie_track({1, 2});
        c.all.addTracks({first, second});
        c.all.autoSelectLayout();
        EXPECT_EQ(c.all.outputLayout(), uint32_t(NAudioChannelLayout_DualStereo));
        EXPECT_EQ(masks_of(first), (std::vector<uint64_t>{1, 2}));
        EXPECT_EQ(masks_of(second), (std::vector<uint64_t>{4, 8}));
        EXPECT_EQ(second->defaultChannelMapping(1), 8u);
    }
    {  // Stereo and mono movie tracks stay stereo.
        Collection c;
        c.all.addTracks({movie_track({1, 2}), movie_track({3})});
        c.all.autoSelectLayout();
        EXPECT_EQ(c.all.outputLayout(), uint32_t(NAudioChannelLayout_Stereo));
    }
    {  // One mono movie track (both sides): mono.
        Collection c;
        c.all.addTrack(movie_track({3}));
        c.all.setOutputLayout(NAudioChannelLayout_7_1);
        c.all.autoSelectLayout();
        EXPECT_EQ(c.all.outputLayout(), uint32_t(NAudioChannelLayout_Mono));
    }
    {  // Mono companions L R C LFE Ls Rs: 5.1; one more on Lrs: 7.1.
        Collection c;
        for (const char* suffix : {"_L", "_R", "_C", "_LFE", "_Ls", "_Rs"}) c.all.addTrack(mono_wav(suffix));
        c.all.autoSelectLayout();
        EXPECT_EQ(c.all.outputLayout(), uint32_t(NAudioChannelLayout_5_1));
        EXPECT_EQ(c.all.unusedOutputMask(), ~uint64_t(0x3F));
        c.all.addTrack(mono_wav("_Lrs"));
        c.all.autoSelectLayout();
        EXPECT_EQ(c.all.outputLayout(), uint32_t(NAudioChannelLayout_7_1));
        EXPECT_EQ(c.all.unusedOutputMask(), ~uint64_t(0x7F));
    }
    {  // A centre or LFE bit alone chooses the four-channel layout (rules as they stand).
        Collection c;
        c.all.addTrack(movie_track({1, 2, 4, 8}));
        c.all.autoSelectLayout();
        EXPECT_EQ(c.all.outputLayout(), uint32_t(NAudioChannelLayout_DualStereo));
    }
    {  // A stereo movie track and a stereo companion file: no second pair.
        Collection c;
        AudioSrcTrack* wav = new AudioSrcTrack(
            QString::fromStdString(testsupport::fixture_dir() + "/asrc_stereo.wav"));
        c.all.addTracks({movie_track({1, 2}), wav});
        c.all.autoSelectLayout();
        EXPECT_EQ(c.all.outputLayout(), uint32_t(NAudioChannelLayout_Stereo));
        EXPECT_EQ(masks_of(wav), (std::vector<uint64_t>{1, 2}));
    }
    {  // Nothing playable: stereo, and nothing routed or fed.
        Collection c;
        c.all.addTrack(undecodable_track(2, "mp4a"));
        c.all.setOutputLayout(NAudioChannelLayout_Mono);
        c.all.autoSelectLayout();
        EXPECT_EQ(c.all.outputLayout(), uint32_t(NAudioChannelLayout_Stereo));
        EXPECT_FALSE(c.all.hasRoutedTrack());
        EXPECT_EQ(c.all.unusedOutputMask(), ~uint64_t(0));
    }
}

TEST(AllAudioSrcTracks, EditingKeepsMovieTracksFirstAndOnlyHidesThem) {
    Collection c;
    AudioSrcTrack* m0 = movie_track({1, 2});
    AudioSrcTrack* m1 = movie_track({3});
    AudioSrcTrack* aac = undecodable_track(2, "mp4a");
    c.all.addTracks({m0, m1, aac});
    AudioSrcTrack* w0 = mono_wav("_L");
    AudioSrcTrack* w1 = mono_wav("_R");
    c.all.addTrack(w0);
    EXPECT_EQ(c.all.countWavTracks(), 1);
    EXPECT_EQ(c.all.countPlayable(), 3);
    EXPECT_EQ(c.all.countUnplayable(), 1);

    // Inserting at a movie track's place still lands after the movie tracks.
    c.all.insertTracksAt({w1}, 0);
    EXPECT_EQ(c.all.tracks(), (QList<AudioSrcTrack*>{m0, m1, aac, w1, w0}));
    AudioSrcTrack* w2 = mono_wav("_C");
    c.all.insertTracksAt({w2}, 4);
    EXPECT_EQ(c.all.tracks(), (QList<AudioSrcTrack*>{m0, m1, aac, w1, w2, w0}));
    AudioSrcTrack* w3 = mono_wav("_Ls");
    c.all.insertTracksAt({w3}, 40);  // past the end: appended
    AudioSrcTrack* w4 = mono_wav("_Rs");
    c.all.insertTracksAt({w4}, -1);
    EXPECT_EQ(c.all.tracks(), (QList<AudioSrcTrack*>{m0, m1, aac, w1, w2, w0, w3, w4}));

    // Deleting a movie track hides it: visible indices skip it.
    c.all.deleteVisibleTrack(1);
    EXPECT_TRUE(m1->isRemoved());
    EXPECT_EQ(c.all.size(), 8);
    EXPECT_EQ(c.all.indexOfVisible(1), 2);
    EXPECT_EQ(c.all.indexOfVisible(6), 7);
    EXPECT_EQ(c.all.indexOfVisible(7), -1);
    EXPECT_EQ(c.all.indexOfVisible(-1), -1);
    EXPECT_EQ(c.all.movieTracks(), (QList<AudioSrcTrack*>{m0}));
    EXPECT_EQ(c.all.totalChannels(), 2u + 5u);
    // Deleting a companion file takes it out and hands it back.
    AudioSrcTrack* taken = c.all.deleteVisibleTrack(3);
    EXPECT_EQ(taken, w2);
    delete taken;
    EXPECT_EQ(c.all.deleteVisibleTrack(99), nullptr);
    EXPECT_EQ(c.all.wavTracks(), (QList<AudioSrcTrack*>{w1, w0, w3, w4}));
    EXPECT_EQ(c.all.countWavTracks(), 4);
    // Inserting at a visible index counts only the tracks that show.
    AudioSrcTrack* w5 = mono_wav("_Lrs");
    c.all.insertTracksAt({w5}, 3);  // the fourth visible track is w0
    EXPECT_EQ(c.all.tracks(), (QList<AudioSrcTrack*>{m0, m1, aac, w1, w5, w0, w3, w4}));

    c.all.activateAll();
    EXPECT_FALSE(m1->isRemoved());
    EXPECT_EQ(c.all.movieTracks(), (QList<AudioSrcTrack*>{m0, m1}));
    EXPECT_EQ(c.all.totalChannels(), 3u + 5u);

    c.all.clearMovieTrackMappings();
    EXPECT_EQ(m0->channelMaskUnion(), 0u);
    EXPECT_EQ(m1->channelMaskUnion(), 0u);
    EXPECT_EQ(w1->channelMaskUnion(), 2u);

    c.all.setInOutSeconds(0.25, 0.5);
    EXPECT_EQ(m0->descriptor()->inPoint, 12000u);
    EXPECT_EQ(w0->descriptor()->inPoint, 11025u);

    // clear forgets without destroying; deleteAll destroys.
    const QList<AudioSrcTrack*> kept = c.all.tracks();
    c.all.clear();
    EXPECT_EQ(c.all.size(), 0);
    QList<QPointer<AudioSrcTrack>> watched;
    for (AudioSrcTrack* track : kept) watched.append(QPointer<AudioSrcTrack>(track));
    c.all.addTracks(kept);
    c.all.deleteAll();
    EXPECT_EQ(c.all.size(), 0);
    for (const QPointer<AudioSrcTrack>& track : watched) EXPECT_TRUE(track.isNull());
}

TEST(AllAudioSrcTracks, RoutingTableAndUnfedOutputs) {
    Collection c;
    AudioSrcTrack* stereo = movie_track({1, 2});
    AudioSrcTrack* removed = movie_track({4, 8});
    AudioSrcTrack* aac = undecodable_track(2, "mp4a");
    AudioSrcTrack* lfe = mono_wav("_LFE");
    AudioSrcTrack* rear = mono_wav("_Rrs");
    c.all.addTracks({stereo, removed, aac, lfe, rear});
    removed->deactivate();
    c.all.setOutputLayout(NAudioChannelLayout_5_1);
    EXPECT_TRUE(c.all.hasRoutedTrack());
    QList<uint64_t> masks;
    c.all.routedChannelMasks(masks);
    // The removed, unplayable and out-of-layout (Rrs in 5.1) sources are left out.
    EXPECT_EQ(masks, (QList<uint64_t>{1, 2, 8}));
    EXPECT_EQ(c.all.unusedOutputMask(), ~uint64_t(0x0B));
    c.all.setOutputLayout(NAudioChannelLayout_7_1);
    masks.clear();
    c.all.routedChannelMasks(masks);
    EXPECT_EQ(masks, (QList<uint64_t>{1, 2, 8, 128}));
    EXPECT_EQ(c.all.unusedOutputMask(), ~uint64_t(0x8B));
    c.all.setOutputLayout(NAudioChannelLayout_Mono);
    masks.clear();
    c.all.routedChannelMasks(masks);
    EXPECT_EQ(masks, (QList<uint64_t>{1, 2}));
    EXPECT_EQ(c.all.unusedOutputMask(), ~uint64_t(1));
}

TEST(AllAudioSrcTracks, SummaryTextOfTheMovieTracks) {
    {
        Collection c;
        EXPECT_TRUE(c.all.summaryText().isEmpty());
        c.all.addTrack(mono_wav("_L"));  // companion files are not part of it
        EXPECT_TRUE(c.all.summaryText().isEmpty());
    }
    {
        Collection c;
        c.all.addTrack(movie_track({1, 2}));
        EXPECT_EQ(c.all.summaryText(), QStringList{QStringLiteral("1 track : Stereo, PCM S16bits LE, 48000 Hz")});
    }
    {
        Collection c;
        AudioSrcTrack* hidden = movie_track({1, 2});
        c.all.addTracks({movie_track({1, 2}), hidden, movie_track({1, 2})});
        hidden->deactivate();  // removed tracks still count
        EXPECT_EQ(c.all.summaryText(), QStringList{QStringLiteral("3 tracks : Stereo, PCM S16bits LE, 48000 Hz")});
    }
    {
        Collection c;
        c.all.addTracks({movie_track({1, 2}), movie_track({3}, 44100, AudioPcmCodec_S24BE),
                         undecodable_track(2, "mp4a")});
        EXPECT_EQ(c.all.summaryText(), (QStringList{QStringLiteral("Stereo, PCM S16bits LE, 48000 Hz"),
                                                    QStringLiteral("Mono, PCM S24bits BE, 44100 Hz"),
                                                    QStringLiteral("Stereo, AAC (Unsupported), 48000 Hz")}));
    }
    {  // Same format, another codec: one line each.
        Collection c;
        c.all.addTracks({movie_track({1, 2}), movie_track({1, 2}, 48000, AudioPcmCodec_S16BE)});
        EXPECT_EQ(c.all.summaryText().size(), 2);
    }
}

}  // namespace
