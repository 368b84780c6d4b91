// The information panel and the message box, read the way a user reads them: the
// texts of real movies made by FFmpeg, the lines that come and go, the layout.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <memory>

#include "app/view_info_error.h"
#include "app/view_information.h"
#include "audio/all_audio_src_tracks.h"
#include "audio/audio_src_track.h"
#include "movie/file_link_information_data.h"
#include "movie/file_to_play.h"
#include "tests/support/mov_test_files.h"
#include "tests/support/test_movies.h"
#include "ui/view_file_link.h"
#include "ui/view_label.h"
#include "ui/view_simple_image.h"
#include "widget_app.h"

namespace {

QString fixture(const char* name) { return QString::fromStdString(testsupport::fixture_path(name)); }

std::unique_ptr<FileToPlay> open_movie(const QString& path) {
    auto movie = std::make_unique<FileToPlay>(path);
    EXPECT_TRUE(movie->errorText().isEmpty()) << path.toStdString() << ": " << movie->errorText().toStdString();
    return movie;
}

}  // namespace

TEST(InformationPanel, TextsOfAFullHdMovie) {
    widget_app();
    const auto movie = open_movie(fixture("hap_1920x1080_c1.mov"));
    ViewInformation panel;
    panel.setFileInfo(movie.get(), nullptr);
    EXPECT_EQ(panel.lineTexts(),
              QStringList({"Information", fixture("hap_1920x1080_c1.mov"), "Filesize : " + movie->fileSizeText(true),
                           "Video", "1920 x 1080 pixels", "Multiple of 4 resolution : Yes",
                           "00:00:00:03 (3 frames)", "25.00 fps", "Timecode : NA", "HAP (1 chunk)", "Alpha : No",
                           "Bitrate : " + movie->bitrateText(true),
                           "GPU bandwidth : " + movie->codecBitrateText(true)}));
    EXPECT_EQ(panel.movieLink()->textLabel()->text(), "hap_1920x1080_c1.mov");  // the name, not the path

    // The unit switches of the preferences.
    panel.setUnitSwitches(false, false, false);
    panel.setFileInfo(movie.get(), nullptr);
    const QStringList bytes = panel.lineTexts();
    EXPECT_EQ(bytes[2], "Filesize : " + movie->fileSizeText(false));
    EXPECT_EQ(bytes[11], "Bitrate : " + movie->bitrateText(false));
    EXPECT_EQ(bytes[12], "GPU bandwidth : " + movie->codecBitrateText(false));
    EXPECT_NE(bytes[11], "Bitrate : " + movie->bitrateText(true));
}

TEST(InformationPanel, TimecodeAudioAndVariableRate) {
    widget_app();
    const auto movie = open_movie(fixture("mov_hapq_s24_tc.mov"));
    AllAudioSrcTracks tracks;
    tracks.addTracks(movie->createAudioTracks());
    ViewInformation panel;
    panel.setFileInfo(movie.get(), &tracks);
    const QStringList texts = panel.lineTexts();
    EXPECT_TRUE(texts.contains("Start timecode : 01:00:00:00")) << texts.join('\n').toStdString();
    EXPECT_TRUE(texts.contains("29.97 fps"));
    EXPECT_TRUE(texts.contains("Multiple of 4 resolution : Yes"));
    ASSERT_GE(texts.size(), 2);
    EXPECT_EQ(texts[texts.size() - 2], "Audio");
    EXPECT_EQ(texts.last(), tracks.summaryText().value(0));
    EXPECT_TRUE(texts.last().startsWith("1 track : "));

    const auto vfr = open_movie(fixture("mov_vfr.mov"));
    panel.setFileInfo(vfr.get(), nullptr);
    EXPECT_TRUE(panel.lineTexts().contains("24.00 (Variable Fps) fps")) << panel.lineTexts().join('\n').toStdString();
    EXPECT_FALSE(panel.lineTexts().contains("Audio"));  // audio lines went with the old movie
    tracks.deleteAll();  // the list does not own its tracks
}

TEST(InformationPanel, CompanionAudioFilesAreLinks) {
    widget_app();
    const auto movie = open_movie(fixture("window_ramp.mov"));
    AllAudioSrcTracks tracks;
    tracks.addTracks(movie->createAudioTracks());
    tracks.addTracks({new AudioSrcTrack(fixture("window_tone.wav"))});
    ViewInformation panel;
    panel.setFileInfo(movie.get(), &tracks);
    panel.resize(600, 10);
    panel.updateLayout();
    const QStringList texts = panel.lineTexts();
    const int header = int(texts.indexOf("External audio"));
    ASSERT_GE(header, 0) << texts.join('\n').toStdString();
    EXPECT_EQ(texts.mid(header + 1), QStringList({fixture("window_tone.wav"), tracks.tracks().last()->descriptorText()}));

    const QList<FileLinkInformationData*> links = panel.fileLinks();
    ASSERT_EQ(links.size(), 2);
    EXPECT_EQ(links[0]->text, fixture("window_ramp.mov"));
    EXPECT_EQ(links[1]->text, fixture("window_tone.wav"));
    EXPECT_EQ(links[0]->rect, QRect(20, 45, 375, 20));  // below the title, inside the panel
    // The companion link: header, then 20 down and 10 more before the pair.
    const int last_bottom = panel.height();
    EXPECT_EQ(links[1]->rect.y(), last_bottom - 25 - 25);
    EXPECT_EQ(panel.width(), 400);
    qDeleteAll(links);

    // Without companion files only the movie is a link, and no header shows.
    AllAudioSrcTracks movie_only;
    movie_only.addTracks(movie->createAudioTracks());
    panel.setFileInfo(movie.get(), &movie_only);
    EXPECT_FALSE(panel.lineTexts().contains("External audio"));
    const QList<FileLinkInformationData*> one = panel.fileLinks();
    EXPECT_EQ(one.size(), 1);
    qDeleteAll(one);
    tracks.deleteAll();  // the lists do not own their tracks
    movie_only.deleteAll();
}

TEST(InformationPanel, OneFrameOddSizeAndNoMovie) {
    widget_app();
    // A hand-made movie of one frame whose picture is 18 x 16.
    testsupport::SizedHapMovie desc;
    desc.coded_width = 18;
    desc.tkhd_width = 18;
    desc.frames = 1;
    const std::string path = QString(widget_test_home() + "/one_frame.mov").toStdString();
    testsupport::write_whole_file(path, testsupport::sized_hap_movie(desc));
    const auto movie = open_movie(QString::fromStdString(path));
    ViewInformation panel;
    panel.setFileInfo(movie.get(), nullptr);
    const QStringList texts = panel.lineTexts();
    EXPECT_TRUE(texts.contains("00:00:00:01 (1 frame)")) << texts.join('\n').toStdString();
    EXPECT_TRUE(texts.contains("18 x 16 pixels"));
    EXPECT_TRUE(texts.contains("Multiple of 4 resolution : No"));

    // No movie: every line empty, no audio headers, the stale lines hidden at once.
    panel.setFileInfo(nullptr, nullptr);
    EXPECT_EQ(panel.lineTexts(), QStringList({"Information", "", "", "Video", "", "", "", "", "", "", "", "", ""}));
    panel.updateLayout();
    EXPECT_EQ(panel.geometry(), QRect(0, 0, 400, 15 + 30 + 12 * 25 + 5));
}

TEST(MessageBox, TitleMessageAndStateIcons) {
    widget_app();
    ViewInfoError box(nullptr, QRect(0, 0, 450, 120));
    EXPECT_EQ(box.titleLabel()->text(), "Info");
    EXPECT_EQ(box.titleLabel()->geometry(), QRect(0, 0, 450, 40));
    EXPECT_EQ(box.messageLabel()->geometry(), QRect(0, 40, 450, 65));
    box.setTexts("File import error", "Unsupported codec");
    EXPECT_EQ(box.titleLabel()->text(), "File import error");
    EXPECT_EQ(box.messageLabel()->text(), "Unsupported codec");

    struct Row {
        void (ViewInfoError::*set)();
        bool error, warning;
    } rows[] = {{&ViewInfoError::setStateError, true, false},
                {&ViewInfoError::setStateWarning, false, true},
                {&ViewInfoError::setStateInfo, false, false}};
    for (const Row& row : rows) {
        (box.*row.set)();
        EXPECT_EQ(!box.errorIcon()->isHidden(), row.error);
        EXPECT_EQ(!box.warningIcon()->isHidden(), row.warning);
    }
    // The icons are real pictures, drawn in the box's top-left corner.
    EXPECT_FALSE(box.errorIcon()->imageRect().isEmpty());
    EXPECT_EQ(box.errorIcon()->geometry(), QRect(10, 10, 32, 32));
}
