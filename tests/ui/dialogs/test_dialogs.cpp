// The dialog bases and stock dialogs: button bar layout, what each button reports,
// placement on the screen, the high-DPI flag, and the stock dialogs' contents. Driven
// by clicks on shown dialogs, never through a modal loop.
#include "platform/desktop/window_dpi.h"
#include "tests/support_qt/widget_app.h"
#include "tests/ui/core/message_capture.h"
#include "ui/base_dialog.h"
#include "ui/base_dialog_common.h"
#include "ui/base_dialog_widget.h"
#include "ui/dialog_about.h"
#include "ui/dialog_ask.h"
#include "ui/dialog_warning_err.h"
#include "ui/view_btn_text.h"
#include "ui/view_checkbox.h"
#include "ui/view_file_link.h"
#include "ui/view_label.h"
#include "ui/view_spin_box.h"
#include "ui/view_text_entry.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

class TaggedDialog : public BaseDialog {
public:
    TaggedDialog() : BaseDialog(nullptr, QRect(0, 0, 600, 200), "Tagged") {}
    void act_btn_bottom_left_btn(uint32_t senderTag) override { tags.append(senderTag); }
    QList<uint32_t> tags;
};

void click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center());
}

QList<int> button_xs(const QList<ViewBtnText*>& buttons) {
    QList<int> xs;
    for (const ViewBtnText* b : buttons) xs << b->x();
    return xs;
}

// Windows whose own closing reads the number typed into them: Escape (a dialog's
// reject) and the window's close.
class EditDialog : public BaseDialog {
public:
    EditDialog() : BaseDialog(nullptr, QRect(0, 0, 400, 200), "Edit") {
        box = new ViewSpinBoxInt(this, QRect(10, 10, 100, 25), 10, 0, 100);
    }
    void reject() override {
        atReject = box->value();
        BaseDialog::reject();
    }
    void closeEvent(QCloseEvent* event) override {
        atClose = box->value();
        BaseDialog::closeEvent(event);
    }
    ViewSpinBoxInt* box;
    int atReject = -1;
    int atClose = -1;
};

class EditPanel : public BaseDialogWidget {
public:
    EditPanel() : BaseDialogWidget(nullptr, "Edit", 400, 200) {
        box = new ViewSpinBoxInt(this, QRect(10, 10, 100, 25), 10, 0, 100);
        resize(400, 200);
    }
    void closeEvent(QCloseEvent* event) override {
        atClose = box->value();
        BaseDialogWidget::closeEvent(event);
    }
    ViewSpinBoxInt* box;
    int atClose = -1;
};

// Shows the window, clicks into the box's entry and types `text` without Return.
void type_in_shown(QWidget* window, ViewSpinBoxInt* box, const QString& text) {
    ASSERT_TRUE(show_active(window));
    QTest::mouseClick(box->entry(), Qt::LeftButton);
    ASSERT_TRUE(box->entry()->hasFocus());
    box->entry()->selectAll();
    QTest::keyClicks(box->entry(), text);
}

uint32_t dpi_72(const QWindow*) { return 72; }
uint32_t dpi_120(const QWindow*) { return 120; }

}  // namespace

TEST(BaseDialogButtons, RightButtonsFromTheRightLeftButtonsHiddenWhenTheyReachThem) {
    widget_app();
    BaseDialog dialog(nullptr, QRect(0, 0, 600, 200), "Buttons");
    EXPECT_EQ(dialog.contentHeight(), 200);
    dialog.addOkButton("OK");
    dialog.addCancelButton("Cancel");
    for (int i = 0; i < 4; ++i) dialog.addBottomLeftButton(QStringLiteral("L%1").arg(i), 10 + i);
    dialog.layoutButtons();
    EXPECT_EQ(dialog.rightButtons().at(0)->geometry(), QRect(490, 165, 100, 25));
    EXPECT_EQ(dialog.rightButtons().at(1)->geometry(), QRect(385, 165, 100, 25));
    EXPECT_EQ(button_xs(dialog.leftButtons()), (QList<int>{10, 115, 220, 325}));
    EXPECT_FALSE(dialog.leftButtons().at(2)->isHidden());
    EXPECT_TRUE(dialog.leftButtons().at(3)->isHidden());  // right edge 425 reaches 370
    EXPECT_EQ(dialog.contentHeight(), 155);

    // Resizing lays the bar out again.
    dialog.resize(800, 200);
    dialog.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.rightButtons().at(0)->x() == 690; }, 10000));
    EXPECT_FALSE(dialog.leftButtons().at(3)->isHidden());
}

TEST(BaseDialogButtons, EachButtonReportsWithTheSenderTagAndCloses) {
    widget_app();
    struct Case {
        int button;  // 0 OK, 1 cancel, 2 abort
    } const cases[] = {{0}, {1}, {2}};
    for (const Case& c : cases) {
        TaggedDialog dialog;
        dialog.senderTag = 7;
        ViewBtnText* ok = dialog.addOkButton("OK");
        ViewBtnText* cancel = dialog.addCancelButton("Cancel");
        ViewBtnText* abort = dialog.addAbortButton("Abort");
        dialog.layoutButtons();
        QSignalSpy one(&dialog, &BaseDialog::clic_btn_dialog_1);
        QSignalSpy two(&dialog, &BaseDialog::clic_btn_dialog_2);
        QSignalSpy three(&dialog, &BaseDialog::clic_btn_dialog_3);
        dialog.show();
        click(c.button == 0 ? ok : c.button == 1 ? cancel : abort);
        QSignalSpy* spies[] = {&one, &two, &three};
        for (int i = 0; i < 3; ++i) EXPECT_EQ(spies[i]->count(), i == c.button ? 1 : 0) << c.button;
        EXPECT_EQ(spies[c.button]->at(0).at(0).toUInt(), 7u);
        EXPECT_TRUE(dialog.isHidden());
        EXPECT_TRUE(dialog.tags.isEmpty());
    }

    TaggedDialog dialog;
    ViewBtnText* tagged = dialog.addTaggedButton("Save", 42);
    ViewBtnText* left = dialog.addBottomLeftButton("Left", 43);
    dialog.layoutButtons();
    dialog.show();
    click(tagged);
    click(left);
    EXPECT_EQ(dialog.tags, (QList<uint32_t>{42, 43}));
    EXPECT_FALSE(dialog.isHidden());  // tagged buttons leave the dialog open
}

TEST(BaseDialogScreen, FitToScreenCentresOnTheAvailableAreaWithItsOrigin) {
    struct Case {
        QSize size;
        QRect area;
        QRect expected;
    } const cases[] = {
        {{2500, 900}, {0, 0, 1920, 1080}, {0, 90, 1920, 900}},
        {{600, 400}, {0, 0, 1920, 1080}, {660, 340, 600, 400}},
        {{600, 400}, {1920, 0, 1280, 1024}, {2260, 312, 600, 400}},     // a screen right of another
        {{600, 400}, {-1280, -200, 1280, 1024}, {-940, 112, 600, 400}},  // left of and above it
        {{600, 2000}, {0, 40, 1920, 1040}, {660, 40, 600, 1040}},        // under a task bar
    };
    for (const Case& c : cases) EXPECT_EQ(dialog_fit_to_area(c.size, c.area), c.expected);

    widget_app();
    BaseDialog dialog(nullptr, QRect(0, 0, 2500, 500), "Fit");
    dialog.showDialog(true);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(dialog.geometry(), dialog_fit_to_area(QSize(2500, 500), area));
    EXPECT_EQ(dialog.width(), std::min(2500, area.width()));
    EXPECT_EQ(dialog.windowModality(), Qt::WindowModal);
    EXPECT_TRUE(dialog.isVisible());
    dialog.close();
}

TEST(BaseDialogScreen, HighDpiFlagFromTheNativeWindow) {
    widget_app();
    BaseDialog dialog(nullptr, QRect(0, 0, 300, 200), "Dpi");
    {
        MessageCapture log;
        dialog.linkScreenChanged();  // no native window yet
        EXPECT_EQ(log.count(QStringLiteral("Can't link screen Changed")), 1);
    }
    setPlatformWindowDpiHook(&dpi_120);
    dialog.showDialog(false);
    EXPECT_TRUE(dialog.isHighDpi());
    setPlatformWindowDpiHook(&dpi_72);  // counts as 96
    dialog.screen_changed_slot(nullptr);
    EXPECT_FALSE(dialog.isHighDpi());

    BaseDialogWidget panel(nullptr, "Panel", 300, 200);
    setPlatformWindowDpiHook(&dpi_120);
    panel.show();
    panel.linkScreenChanged();
    EXPECT_TRUE(panel.isHighDpi());
    setPlatformWindowDpiHook(nullptr);
    dialog.close();
    panel.close();

    // The real reading follows the window's scale (QT_SCALE_FACTOR=1.25 sets the flag).
    BaseDialog real(nullptr, QRect(0, 0, 300, 200), "Real");
    real.showDialog(false);
    ASSERT_NE(real.windowHandle(), nullptr);
    EXPECT_EQ(real.isHighDpi(), real.windowHandle()->devicePixelRatio() * 96.0 >= 97.0);
    real.close();
}

TEST(BaseDialogWidgetButtons, PlacedOnResizeAndReporting) {
    widget_app();
    BaseDialogWidget panel(nullptr, "Preferences", 700, 600);
    EXPECT_TRUE(panel.isWindow());
    EXPECT_EQ(panel.windowTitle(), QStringLiteral("Preferences"));
    panel.senderTag = 3;
    ViewBtnText* save = panel.addOkButton("Save");
    ViewBtnText* cancel = panel.addCancelButton("Cancel");
    panel.resize(int(panel.defaultWidth()), int(panel.defaultHeight()));
    panel.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return save->geometry() == QRect(590, 565, 100, 25); }, 10000));
    EXPECT_EQ(cancel->geometry(), QRect(485, 565, 100, 25));
    QSignalSpy one(&panel, &BaseDialogWidget::clic_btn_dialog_1);
    QSignalSpy two(&panel, &BaseDialogWidget::clic_btn_dialog_2);
    click(cancel);
    ASSERT_EQ(two.count(), 1);
    EXPECT_EQ(two.at(0).at(0).toUInt(), 3u);
    EXPECT_TRUE(panel.isHidden());
    panel.show();
    click(save);
    EXPECT_EQ(one.count(), 1);
}

TEST(DialogClosing, EscapeAndTheWindowCloseEndTheTypedEditFirst) {
    widget_app();
    {
        EditDialog dialog;
        type_in_shown(&dialog, dialog.box, "55");
        QTest::keyClick(dialog.box->entry(), Qt::Key_Escape);
        EXPECT_EQ(dialog.atReject, 55);
        EXPECT_TRUE(dialog.isHidden());
    }
    {
        EditDialog dialog;
        type_in_shown(&dialog, dialog.box, "66");
        dialog.close();
        EXPECT_EQ(dialog.atClose, 66);
    }
    EditPanel panel;
    type_in_shown(&panel, panel.box, "77");
    panel.close();
    EXPECT_EQ(panel.atClose, 77);
}

TEST(StockDialogs, AskOffersItsAnswersFromTheRight) {
    widget_app();
    DialogAsk ask(nullptr, "Save the report?", {"Yes", "No", "Maybe"});
    ASSERT_EQ(ask.rightButtons().size(), 3);
    EXPECT_EQ(ask.rightButtons().at(0)->text(), QStringLiteral("Yes"));
    EXPECT_GT(ask.rightButtons().at(0)->x(), ask.rightButtons().at(1)->x());
    EXPECT_GT(ask.rightButtons().at(1)->x(), ask.rightButtons().at(2)->x());
    ASSERT_NE(ask.messageLabel(), nullptr);
    EXPECT_EQ(ask.messageLabel()->geometry(), QRect(10, 20, 480, 35));
    EXPECT_EQ(ask.messageLabel()->text(), QStringLiteral("Save the report?"));
    EXPECT_EQ(ask.height(), 100);

    QSignalSpy third(&ask, &BaseDialog::clic_btn_dialog_3);
    ask.showDialog(false);
    click(ask.rightButtons().at(2));
    EXPECT_EQ(third.count(), 1);
    EXPECT_TRUE(ask.isHidden());

    for (const QStringList& texts : {QStringList{}, QStringList{"a", "b", "c", "d"}}) {
        MessageCapture log;
        DialogAsk wrong(nullptr, "?", texts);
        EXPECT_EQ(log.count(QStringLiteral("ERREUR, invalid nb btns dialog ask")), 1);
        EXPECT_TRUE(wrong.rightButtons().isEmpty());
        EXPECT_EQ(wrong.messageLabel(), nullptr);
        wrong.resize(400, 120);  // lays out without a message
    }
}

TEST(StockDialogs, SimpleMessageHasOneOkButton) {
    widget_app();
    DialogSimpleMsg message(nullptr, "No results to save");
    ASSERT_EQ(message.rightButtons().size(), 1);
    EXPECT_EQ(message.rightButtons().first()->text(), QStringLiteral("Ok"));
    EXPECT_TRUE(message.messageLabel()->alignment() & Qt::AlignHCenter);
    QSignalSpy ok(&message, &BaseDialog::clic_btn_dialog_1);
    message.showDialog(false);
    click(message.rightButtons().first());
    EXPECT_EQ(ok.count(), 1);
}

TEST(StockDialogs, WarningWithDontShowAgainSwitch) {
    widget_app();
    DialogWarningErr warning(nullptr, "Unsupported audio output device", "Audio error");
    warning.settingKey = QStringLiteral("ui_display_warn_unsupported_sound_card");
    EXPECT_EQ(warning.windowTitle(), QStringLiteral("Audio error"));
    EXPECT_EQ(warning.messageLabel()->text(), QStringLiteral("Unsupported audio output device"));
    EXPECT_FALSE(warning.isDontShowAgainChecked());
    ASSERT_NE(warning.dontShowAgain()->label(), nullptr);
    EXPECT_EQ(warning.dontShowAgain()->label()->text(), QStringLiteral("Don't show again"));
    EXPECT_EQ(warning.closeButton()->text(), QStringLiteral("Close"));
    EXPECT_EQ(warning.closeButton()->geometry(), QRect(390, 55, 100, 25));
    EXPECT_TRUE(warning.rightButtons().isEmpty());

    QSignalSpy closed(&warning, &BaseDialog::clic_btn_dialog_1);
    warning.showDialog(false);
    click(warning.dontShowAgain());
    EXPECT_TRUE(warning.isDontShowAgainChecked());
    click(warning.closeButton());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_TRUE(warning.isHidden());
}

QString without_spaces(QString text) {
    text.remove(QRegularExpression(QStringLiteral("\\s")));
    return text;
}

// The message of a shown box is read whole: every character drawn in order (lines
// break only where spaces or line ends were, or inside a word too long for a line),
// each line as wide as the label at most, the lines as tall as the label at most,
// the label inside the box and above `below`, and the box on its screen.
void expect_read_whole(const QWidget& box, const ViewLabel* label, const QString& message, int below) {
    SCOPED_TRACE(message.toStdString());
    EXPECT_EQ(label->text(), message);
    const QString shown = label->shownText();
    EXPECT_EQ(without_spaces(shown), without_spaces(message));
    const QFontMetrics metrics = label->fontMetrics();
    for (const QString& line : shown.split('\n'))
        EXPECT_LE(metrics.horizontalAdvance(line), label->width()) << line.toStdString();
    EXPECT_LE(metrics.boundingRect(label->rect(), int(label->alignment()), shown).height(), label->height());
    EXPECT_TRUE(box.rect().contains(label->geometry()));
    EXPECT_LE(label->geometry().bottom(), below);
    EXPECT_TRUE(box.screen()->availableGeometry().contains(box.frameGeometry()));
}

TEST(StockDialogs, LongMessagesAreShownWholeInLinesShortOnesKeepTheBoxSize) {
    widget_app();
    const QString longName = QString(239, QLatin1Char('n')) + QStringLiteral("_AudioAnalyse.txt");  // 256 bytes
    const QStringList messages = {
        QStringLiteral("Can't write file : /home/someone/projects/renders/2024/clip_final_v3_AudioAnalyse.txt"),
        QStringLiteral("Can't write file : /tmp/scratch/") + longName,
        QStringLiteral("Fail to write pref file : /home/someone/.config/norvu_hap_player_prefs.xml "
                       "(No space left on device)"),
        QStringLiteral("Can't write file : /media/someone/exchange/") + longName +
            QStringLiteral("\nThe folder is read-only."),
    };
    for (const QString& message : messages) {
        DialogSimpleMsg box(nullptr, message);
        box.showDialog(true);  // as the tool windows show it
        expect_read_whole(box, box.messageLabel(), message, box.rightButtons().first()->y());
        EXPECT_EQ(box.width(), 500);

        DialogWarningErr warning(nullptr, message, QStringLiteral("Audio error"));
        warning.layoutContent();
        warning.show();
        expect_read_whole(warning, warning.messageLabel(), message, warning.dontShowAgain()->y());
        EXPECT_LE(warning.dontShowAgain()->geometry().bottom(), warning.height());
        EXPECT_LE(warning.closeButton()->geometry().bottom(), warning.height());
    }

    // Far too long for any box: the box still stays on the screen.
    QString huge;
    for (int i = 0; i < 60; ++i) huge += QStringLiteral("/folder_") + longName;
    DialogSimpleMsg hugeBox(nullptr, huge);
    hugeBox.showDialog(true);
    EXPECT_TRUE(hugeBox.screen()->availableGeometry().contains(hugeBox.frameGeometry()));

    // A short message keeps the one-line look.
    DialogSimpleMsg shortBox(nullptr, QStringLiteral("No results to save"));
    shortBox.showDialog(true);
    EXPECT_EQ(shortBox.size(), QSize(500, 100));
    EXPECT_EQ(shortBox.messageLabel()->geometry(), QRect(10, 20, 480, 35));
    EXPECT_EQ(shortBox.messageLabel()->shownText(), QStringLiteral("No results to save"));
    DialogWarningErr shortWarning(nullptr, QStringLiteral("Unsupported audio output device"), "Audio error");
    EXPECT_EQ(shortWarning.size(), QSize(500, 100));
    EXPECT_EQ(shortWarning.messageLabel()->geometry(), QRect(10, 20, 480, 20));
    EXPECT_EQ(shortWarning.dontShowAgain()->geometry(), QRect(10, 45, 480, 25));
}

TEST(StockDialogs, AboutSplash) {
    widget_app();
    DialogAbout about(nullptr, "About", ":/Rsc/RESSOURCES_UI/ICON_PLAYER.png");
    BaseAboutSplash* splash = about.splash();
    EXPECT_EQ(about.size(), QSize(500, 500));
    EXPECT_EQ(splash->minimumSize(), QSize(500, 500));
    EXPECT_EQ(splash->maximumSize(), QSize(500, 500));
    splash->setTitle("Player");
    splash->setVersion("1.2.3");
    splash->setLink("https://example.org/player");
    EXPECT_EQ(splash->titleLabel()->text(), QStringLiteral("Player"));
    EXPECT_EQ(splash->versionLabel()->text(), QStringLiteral("1.2.3"));
    EXPECT_EQ(splash->link()->path(), QStringLiteral("https://example.org/player"));
    EXPECT_EQ(splash->link()->mode(), 4u);
}
