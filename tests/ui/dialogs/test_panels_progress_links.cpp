// Collapsible groups, progress bars, the clip lamp, file links and the folder chooser.
#include "platform/desktop/reveal_file.h"
#include "tests/support_qt/widget_app.h"
#include "tests/ui/core/message_capture.h"
#include "ui/view_audio_meter_red_clip.h"
#include "ui/view_btn_image.h"
#include "ui/view_btn_text.h"
#include "ui/view_choose_folder.h"
#include "ui/view_closable_params.h"
#include "ui/view_file_link.h"
#include "ui/view_label.h"
#include "ui/view_progress.h"
#include "ui/view_progress_bar_task.h"
#include "ui/view_widget_base.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

class CountingPage : public ViewClosableParams {
public:
    CountingPage(int width, int content) : ViewClosableParams(nullptr, QRect(0, 0, width, 10), "Page") {
        setContentHeight(content);
        resize(width, 200);
    }
    void resetUi() override { resets++; }
    int resets = 0;
};

void left_click(QWidget* widget, Qt::KeyboardModifiers mods = {}) {
    QTest::mouseClick(widget, Qt::LeftButton, mods, widget->rect().center());
}

}  // namespace

TEST(ClosableGroup, HeightAndContentFollowTheOpenState) {
    widget_app();
    CountingPage page(400, 100);
    page.updateLayout();
    EXPECT_TRUE(page.isClosed());
    EXPECT_EQ(page.heightHint(), 32);
    EXPECT_TRUE(page.content()->isHidden());

    page.setCloseState(false);
    page.updateLayout();
    EXPECT_EQ(page.heightHint(), 132);
    EXPECT_FALSE(page.content()->isHidden());
    EXPECT_EQ(page.content()->geometry(), QRect(0, 32, 400, 100));

    CountingPage fixed(400, 100);
    fixed.setClosable(false);
    fixed.updateLayout();
    EXPECT_EQ(fixed.heightHint(), 132);
    EXPECT_FALSE(fixed.content()->isHidden());
    EXPECT_TRUE(fixed.triangle()->isHidden());

    CountingPage empty(400, 0);
    empty.setCloseState(false);
    empty.updateLayout();
    EXPECT_TRUE(empty.content()->isHidden());
}

TEST(ClosableGroup, TriangleClicksReportTheNewState) {
    widget_app();
    CountingPage page(400, 100);
    page.tag = 3;
    page.show();
    QSignalSpy one(&page, &ViewClosableParams::ViewClosableParams_OpenCloseGroup);
    QSignalSpy all(&page, &ViewClosableParams::ViewClosableParams_OpenCloseAllGroup);
    left_click(page.triangle());
    ASSERT_EQ(one.count(), 1);
    EXPECT_EQ(one.at(0), (QList<QVariant>{3u, false}));
    EXPECT_EQ(page.heightHint(), 132);
    left_click(page.triangle(), Qt::ControlModifier);
    ASSERT_EQ(all.count(), 1);
    EXPECT_EQ(all.at(0), (QList<QVariant>{3u, true}));
    EXPECT_EQ(one.count(), 1);

    page.setClosable(false);
    page.ViewBtnImage_Clic(0, Qt::NoModifier);
    EXPECT_EQ(one.count() + all.count(), 2);
}

TEST(ClosableGroup, ResetButtonNeedsRoomForTheTitle) {
    widget_app();
    struct Case {
        int width;
        float minTitle;
        bool shown;
    } const cases[] = {{300, 150, false}, {310, 150, true}, {260, 100, true}, {259, 100, false}};
    for (const Case& c : cases) {
        CountingPage page(c.width, 50);
        page.setMinTitleWidth(c.minTitle);
        page.resize(c.width, 100);
        page.updateLayout();
        EXPECT_EQ(!page.resetButton()->isHidden(), c.shown) << c.width;
        if (c.shown) {
            EXPECT_EQ(page.resetButton()->x(), c.width - 115);
        }
    }
}

TEST(ClosableGroup, ResetCallsThePageThenReports) {
    widget_app();
    CountingPage page(400, 50);
    page.tag = 5;
    QSignalSpy reset(&page, &ViewClosableParams::ViewClosableParams_ClicReset);
    page.act_btn_reset();
    EXPECT_EQ(page.resets, 1);
    ASSERT_EQ(reset.count(), 1);
    EXPECT_EQ(reset.at(0).at(0).toUInt(), 5u);
    page.setResetAvailable(false);
    page.act_btn_reset();
    EXPECT_EQ(page.resets, 1);
    EXPECT_EQ(reset.count(), 1);
}

TEST(TaskProgressBar, TextBarAndStateColours) {
    widget_app();
    ViewTaskProgressBar bar(nullptr, QRect(0, 0, 186, 30));
    struct Case {
        uint32_t percent;
        const char* text;
        float value;
    } const cases[] = {{0, "0 %", 0.0f}, {42, "42 %", 0.42f}, {100, "100 %", 1.0f}, {250, "100 %", 1.0f}};
    for (const Case& c : cases) {
        bar.setProgress(c.percent);
        EXPECT_EQ(bar.textLabel()->text(), QString::fromLatin1(c.text));
        EXPECT_FLOAT_EQ(bar.bar()->value(), c.value);
    }
    bar.resetProgress();
    EXPECT_EQ(bar.textLabel()->text(), QStringLiteral("0 %"));

    EXPECT_EQ(bar.bar()->barColor(), QColor(0, 159, 115));
    bar.setRunColor();
    EXPECT_EQ(bar.bar()->barColor(), QColor(254, 178, 7));
    bar.setIdleColor();
    EXPECT_EQ(bar.bar()->barColor(), QColor(101, 101, 101));
    bar.setDoneColor();
    EXPECT_EQ(bar.bar()->barColor(), QColor(0, 159, 115));
    bar.setBackgroundColor(QColor(23, 43, 55));
    EXPECT_EQ(bar.bar()->backgroundColor(), QColor(23, 43, 55));

    // The painted bar: filled to its value over the background.
    bar.setProgress(50);
    bar.setBarBrush(QColor(255, 0, 0));
    const QImage image = bar.bar()->grab().toImage();
    EXPECT_EQ(image.pixelColor(20, 3), QColor(255, 0, 0));
    EXPECT_EQ(image.pixelColor(150, 3), QColor(23, 43, 55));
}

TEST(ClipLamp, LitOnlyWhileEnabled) {
    widget_app();
    ViewAudioMeterRedClip lamp(nullptr, QRect(0, 0, 10, 10));
    const auto colour = [&] { return lamp.palette().color(lamp.backgroundRole()); };
    EXPECT_EQ(colour(), QColor(23, 29, 35));
    lamp.setClip(true);
    EXPECT_EQ(colour(), QColor(245, 70, 70));
    lamp.setEnabledLook(false);
    EXPECT_EQ(colour(), QColor(23, 29, 35));
    EXPECT_DOUBLE_EQ(view_opacity(&lamp), 0.6);
}

TEST(FileLink, TextByModeAndMultipleValues) {
    widget_app();
    ViewFileLink name(nullptr, QRect(0, 0, 300, 20), 0);
    name.setPath(QStringLiteral("/media/x/clip.mov"));
    EXPECT_EQ(name.textLabel()->text(), QStringLiteral("clip.mov"));
    ViewFileLink whole(nullptr, QRect(0, 0, 300, 20), 2);
    whole.setPath(QStringLiteral("/media/x/clip.mov"));
    EXPECT_EQ(whole.textLabel()->text(), QStringLiteral("/media/x/clip.mov"));
    whole.setDisplayText(QStringLiteral("Movie"));
    EXPECT_EQ(whole.textLabel()->text(), QStringLiteral("Movie"));
    name.setMultipleValues();
    EXPECT_EQ(name.textLabel()->text(), QStringLiteral("<multiple values>"));
    name.clearMultiple();
    EXPECT_EQ(name.textLabel()->text(), QStringLiteral("clip.mov"));
    // The hand cursor belongs to the link, not to the application.
    EXPECT_EQ(name.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(FileLink, ClicksRevealOpenOrDoNothing) {
    widget_app();
    QStringList revealed;
    QList<QUrl> opened;
    setRevealInFileManagerHook([&](const QString& path) {
        revealed << path;
        return true;
    });
    ViewFileLink::setOpenUrlHook([&](const QUrl& url) {
        opened << url;
        return true;
    });
    const QString path = QStringLiteral("/media/x/clip.mov");
    for (uint32_t mode : {0u, 1u, 2u, 3u, 4u, 6u}) {
        ViewFileLink link(nullptr, QRect(0, 0, 300, 20), mode);
        link.setPath(path);
        link.act_clic();
        link.setMultipleValues();
        link.act_clic();  // several values: nothing
    }
    ViewFileLink empty(nullptr, QRect(0, 0, 300, 20), 1);
    empty.act_clic();
    setRevealInFileManagerHook({});
    ViewFileLink::setOpenUrlHook({});
    EXPECT_EQ(revealed, (QStringList{path, path, path, path}));  // modes 0, 1, 2, 6
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first().toString(), path);
}

TEST(FileLink, RevealFailuresAreLogged) {
    widget_app();
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("clip.mov"));
    QFile file(existing);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    int calls = 0;
    bool answer = true;
    setRevealBackends([&](const QString&) { return ++calls, answer; }, [&](const QString&) { return answer; });
    ViewFileLink link(nullptr, QRect(0, 0, 300, 20), 1);
    MessageCapture log;
    link.setPath(dir.filePath(QStringLiteral("missing.mov")));
    link.act_clic();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(log.count(QStringLiteral("Fail to reveal file (2)")), 1);
    link.setPath(existing);
    link.act_clic();
    EXPECT_EQ(calls, 1);
    answer = false;
    link.act_clic();
    EXPECT_EQ(log.count(QStringLiteral("Fail to reveal file (1)")), 1);
    setRevealBackends({}, {});
}

TEST(FileLink, SaveDialogReportsOnlyANewName) {
    widget_app();
    QTemporaryDir dir;
    const QString original = dir.filePath(QStringLiteral("report.txt"));
    ViewFileLink link(nullptr, QRect(0, 0, 300, 20), 5);
    link.tag = 6;
    link.setPath(original);
    QSignalSpy chosen(&link, &ViewFileLink::ViewFileLink_ChooseNewPath);
    MessageCapture log;

    link.act_clic();
    QFileDialog* dialog = link.findChild<QFileDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    static_cast<QDialog*>(dialog)->accept();
    EXPECT_EQ(chosen.count(), 0);
    EXPECT_EQ(log.count(QStringLiteral("Choose file name idem")), 1);
    EXPECT_EQ(link.dialog(), nullptr);

    link.act_clic();
    dialog = link.dialog();
    ASSERT_NE(dialog, nullptr);
    dialog->selectFile(QStringLiteral("other.txt"));
    static_cast<QDialog*>(dialog)->accept();
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).toUInt(), 6u);
    EXPECT_EQ(QDir::cleanPath(chosen.at(0).at(1).toString()), QDir::cleanPath(dir.filePath("other.txt")));
    EXPECT_EQ(link.textLabel()->text(), chosen.at(0).at(1).toString());

    link.act_clic();
    link.dialog()->reject();
    EXPECT_EQ(chosen.count(), 1);
}

TEST(ChooseFolder, AnswerIsShownAndReportedCancelChangesNothing) {
    widget_app();
    ViewChooseFolder chooser(nullptr, QRect(0, 0, 300, 50), QStringLiteral("Folder"));
    chooser.tag = 2;
    QString startSeen;
    QString answer = QStringLiteral("/data/snapshots");
    chooser.askFolder = [&](QWidget*, const QString&, const QString& start) {
        startSeen = start;
        return answer;
    };
    QSignalSpy changed(&chooser, &ViewChooseFolder::ViewChooseFolder_FolderChange);
    chooser.act_btn_choose();
    EXPECT_EQ(startSeen, QStringLiteral("."));
    EXPECT_EQ(chooser.folder(), answer);
    EXPECT_EQ(chooser.link()->textLabel()->text(), answer);
    ASSERT_EQ(changed.count(), 1);
    answer.clear();
    chooser.act_btn_choose();
    EXPECT_EQ(startSeen, QStringLiteral("/data/snapshots"));
    EXPECT_EQ(chooser.folder(), QStringLiteral("/data/snapshots"));
    EXPECT_EQ(changed.count(), 1);

    chooser.disable();
    EXPECT_FALSE(chooser.chooseButton()->isEnabledLook());
    EXPECT_FALSE(chooser.link()->textLabel()->isEnabledLook());
}
