// The audio mapping panel offscreen: grid clicks write the source's mask, the layout
// combo, the rows built from the track list (movie and WAV rows, unplayable and null
// sources), WAV drops at a row position, and the header names.
#include <gtest/gtest.h>

#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <memory>

#include "audio/all_audio_src_tracks.h"
#include "audio/audio_src_track.h"
#include "tests/tools/audio_panel_test_support.h"
#include "tools/panel_audio_mapping.h"
#include "tools/view_track_audio_channel_map.h"
#include "tools/view_track_audio_map.h"
#include "tools/view_track_map_name.h"
#include "ui/view_bar_insert_scroll.h"
#include "ui/view_btn_image.h"
#include "ui/view_combobox2.h"
#include "ui/view_file_link.h"
#include "ui/view_items_sub_menu.h"
#include "ui/view_label.h"
#include "widget_app.h"

namespace {

constexpr uint32_t kPcmS16Le = 1;

AudioSrcTrack* movie_track(uint32_t index, uint32_t channels, bool playable = true) {
    const uint64_t masks[8] = {1, 2, 4, 8, 16, 32, 64, 128};
    if (playable) return new AudioSrcTrack("/media/movie.mov", index, channels, 48000, kPcmS16Le, masks, 48000);
    return new AudioSrcTrack("/media/movie.mov", index, channels, 48000, 0x61632D33 /* ac-3 */, masks);
}

class MappingPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        widget_app();
        ASSERT_TRUE(dir.isValid());
        panel = std::make_unique<PanelAudioMapping>(nullptr);
        panel->show();
    }
    void TearDown() override {
        panel.reset();
        tracks.deleteAll();
    }

    AudioSrcTrack* wav(const QString& name, uint16_t channels) {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(write_silent_wav(path, channels));
        auto* track = new AudioSrcTrack(path);
        EXPECT_TRUE(track->errorText().isEmpty()) << track->errorText().toStdString();
        return track;
    }

    ViewTrackAudioChannelMap* line(int row, int channel) { return panel->rows()[row]->channelLines()[channel]; }

    void drop(QPoint at, const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDropEvent event(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        // Straight to the panel: the application hands drops only to a drag in progress.
        static_cast<QObject*>(panel.get())->event(&event);
    }

    QTemporaryDir dir;
    AllAudioSrcTracks tracks;
    std::unique_ptr<PanelAudioMapping> panel;
};

}  // namespace

TEST_F(MappingPanelTest, GridClicksRouteOneOutputOrToggleWithCtrl) {
    AudioSrcTrack* track = wav("music.wav", 2);
    tracks.addTrack(track);
    tracks.setOutputLayout(4);
    track->setChannelMapping(0b011, 0);
    panel->rebuildTrackViews(&tracks);
    QSignalSpy changed(panel.get(), &PanelAudioMapping::PanelAudioMap_MappingChange);
    ViewTrackAudioChannelMap* channel = line(0, 0);
    EXPECT_EQ(channel->mask(), 0b011u);

    const struct {
        uint32_t button;
        Qt::KeyboardModifiers modifiers;
        uint64_t mask;
        int emitted;
    } steps[] = {
        {2, Qt::NoModifier, 0b100, 1},       // plain: that output only
        {2, Qt::NoModifier, 0b100, 1},       // the only lit one: nothing
        {5, Qt::ControlModifier, 0b100100, 2},  // Ctrl adds
        {2, Qt::ControlModifier, 0b100000, 3},  // Ctrl removes
        {5, Qt::ControlModifier, 0, 4},         // the last one: unrouted, still reported
    };
    for (const auto& step : steps) {
        QTest::mouseClick(channel->button(step.button), Qt::LeftButton, step.modifiers);
        EXPECT_EQ(track->channelMapping(0), step.mask) << "button " << step.button;
        EXPECT_EQ(channel->mask(), step.mask);
        EXPECT_EQ(changed.count(), step.emitted);
    }
    EXPECT_EQ(track->channelMapping(1), 0b10u);  // the other channel is untouched
}

TEST_F(MappingPanelTest, TheComboChoosesTheOutputLayout) {
    QSignalSpy layouts(panel.get(), &PanelAudioMapping::PanelAudioMap_LayoutChange);
    const struct {
        int row;
        uint32_t layout;
        int names;
    } choices[] = {{2, 3, 4}, {3, 2, 6}, {0, 0, 1}, {4, 4, 8}};
    for (const auto& choice : choices) {
        QTest::mouseClick(panel->layoutCombo()->label(), Qt::LeftButton);
        ViewItemsSubMenu* popup = panel->openSubMenu();
        ASSERT_NE(popup, nullptr);
        ViewItemMenu* row = popup->rows()[choice.row];
        QTest::mouseClick(row, Qt::LeftButton, {}, row->rect().center());
        ASSERT_EQ(layouts.count(), 1) << choice.row;
        EXPECT_EQ(layouts.takeFirst().at(0).toUInt(), choice.layout);
        EXPECT_EQ(panel->header()->layout(), choice.layout);
        EXPECT_EQ(panel->openSubMenu(), nullptr);
    }

    AudioPanelMessages messages;
    const int32_t before = panel->layoutCombo()->currentIndex();
    panel->setChannelLayout(7);
    EXPECT_TRUE(messages.contains("Error unknown layout : 7"));
    EXPECT_EQ(panel->layoutCombo()->currentIndex(), before);
    panel->setChannelLayout(2);  // a layout from the main window: shown, not reported
    EXPECT_EQ(panel->layoutCombo()->currentIndex(), 3);
    EXPECT_EQ(layouts.count(), 0);
}

TEST_F(MappingPanelTest, RowsShowMovieAndWavSourcesAsTheyCanBeUsed) {
    tracks.addTrack(movie_track(0, 2));
    tracks.addTrack(movie_track(1, 1, false));
    tracks.addTrack(wav("voice.wav", 2));
    tracks.setOutputLayout(1);
    panel->rebuildTrackViews(&tracks);
    ASSERT_EQ(panel->rows().size(), 3);
    EXPECT_EQ(panel->movieRowCount(), 2u);

    ViewTrackAudioMap* movie = panel->rows()[0];
    EXPECT_EQ(movie->height(), 80);
    EXPECT_EQ(movie->trackLabel()->text(), "Tr 01");
    EXPECT_FALSE(movie->trackLabel()->isHidden());
    EXPECT_TRUE(movie->deleteButton()->isHidden());
    EXPECT_EQ(movie->channelLines()[0]->label()->text(), "Ch 01");
    EXPECT_EQ(movie->channelLines()[1]->label()->text(), "Ch 02");
    EXPECT_EQ(panel->rows()[1]->trackLabel()->text(), "Tr 02");

    ViewTrackAudioMap* voice = panel->rows()[2];
    EXPECT_EQ(voice->height(), 80);
    EXPECT_TRUE(voice->trackLabel()->isHidden());
    EXPECT_FALSE(voice->deleteButton()->isHidden());
    EXPECT_EQ(voice->fileLink()->path(), dir.filePath("voice.wav"));
    // Stereo shows two grid buttons per channel.
    EXPECT_FALSE(voice->channelLines()[0]->button(1)->isHidden());
    EXPECT_TRUE(voice->channelLines()[0]->button(2)->isHidden());

    // The unplayable track's grid is dimmed and reports nothing.
    QSignalSpy changed(panel.get(), &PanelAudioMapping::PanelAudioMap_MappingChange);
    ViewTrackAudioChannelMap* dimmed = panel->rows()[1]->channelLines()[0];
    EXPECT_FALSE(dimmed->button(0)->isEnabledLook());
    EXPECT_EQ(dimmed->mask(), 0u);
    QTest::mouseClick(dimmed->button(1), Qt::LeftButton);
    EXPECT_EQ(changed.count(), 0);

    // Delete buttons report the visible index; movie rows get them when allowed.
    QSignalSpy deleted(panel.get(), &PanelAudioMapping::PanelAudioMap_DeleteTrack);
    QTest::mouseClick(voice->deleteButton(), Qt::LeftButton);
    ASSERT_EQ(deleted.count(), 1);
    EXPECT_EQ(deleted.at(0).at(0).toUInt(), 2u);
    panel->setAllowDelete(true);
    panel->rebuildTrackViews(&tracks);
    EXPECT_FALSE(panel->rows()[0]->deleteButton()->isHidden());

    // A removed movie track has no row.
    tracks.tracks()[0]->deactivate();
    panel->rebuildTrackViews(&tracks);
    EXPECT_EQ(panel->rows().size(), 2);
    EXPECT_EQ(panel->rows()[1]->visibleIndex(), 1u);
}

TEST_F(MappingPanelTest, ARowWithoutSourceIsEmptyAndInert) {
    AudioPanelMessages messages;
    ViewTrackAudioMap row(nullptr, nullptr);
    EXPECT_TRUE(messages.contains("Error : src_track null"));
    row.resize(580, 40);
    row.setChannelLayout(4);
    row.updateLayout();
    EXPECT_EQ(row.contentHeight(), 0);
    EXPECT_TRUE(row.channelLines().isEmpty());
    row.ViewAudioChannelMap_Channel(0, 1);  // no source to write into
}

TEST_F(MappingPanelTest, DroppedWavFilesGoAfterTheMovieRowsOrAtTheRowBelow) {
    tracks.addTrack(movie_track(0, 2));
    tracks.addTrack(wav("a.wav", 2));
    tracks.addTrack(wav("b.wav", 2));
    panel->rebuildTrackViews(&tracks);
    // Rows in the scroll view (at y 45): movie 2-82, a 84-164, b 166-246.
    QSignalSpy drops(panel.get(), &PanelAudioMapping::PanelAudioMap_DropFiles);
    const QUrl file = QUrl::fromLocalFile("/media/a_L.wav");
    const struct {
        int y;
        int32_t index;
    } cases[] = {
        {45 + 20, 1},   // over the movie row: right after the movie tracks
        {45 + 120, 2},  // inside row a: before the row that starts below
        {45 + 250, -1}, // below every row: appended
    };
    for (const auto& c : cases) {
        drop(QPoint(300, c.y), {file});
        ASSERT_EQ(drops.count(), 1) << c.y;
        const QList<QVariant> args = drops.takeFirst();
        EXPECT_EQ(args.at(0).toStringList(), QStringList{"/media/a_L.wav"});
        EXPECT_EQ(args.at(1).toInt(), c.index) << c.y;
    }
    EXPECT_EQ(panel->trackIndexAt(QPoint(300, 20)), -1);  // above the list
    drop(QPoint(300, 65), {QUrl("http://example.org/a_L.wav")});
    EXPECT_EQ(drops.count(), 0);
    EXPECT_TRUE(panel->dropMarker()->isHidden());
}

TEST_F(MappingPanelTest, HeaderNamesStandOverTheGridColumns) {
    ViewTrackMapName* header = panel->header();
    panel->setChannelLayout(3);
    QStringList shown;
    for (ViewLabel* label : header->labels())
        if (!label->isHidden()) shown.append(label->text());
    EXPECT_EQ(shown, (QStringList{"L", "R", "L", "R"}));

    panel->setChannelLayout(4);
    const QStringList names = {"L", "R", "C", "Lfe", "Lss", "Rss", "Lrs", "Rrs"};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(header->labels()[i]->text(), names[i]);
        EXPECT_EQ(header->labels()[i]->x(), header->width() - 42 - 37 * (7 - i));
    }
    // Each name sits over its grid button.
    tracks.addTrack(wav("c.wav", 1));
    tracks.setOutputLayout(4);
    panel->rebuildTrackViews(&tracks);
    ViewBtnImage* last = line(0, 0)->button(7);
    const int buttonX = last->mapTo(panel.get(), QPoint(0, 0)).x();
    const int labelX = header->labels()[7]->mapTo(panel.get(), QPoint(0, 0)).x();
    EXPECT_EQ(buttonX, labelX);
}
