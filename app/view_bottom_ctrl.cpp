#include "app/view_bottom_ctrl.h"

#include <QDebug>
#include <QMouseEvent>

#include "base/settings/global_settings.h"
#include "ui/view_btn_image.h"
#include "ui/view_editable_time.h"
#include "ui/view_volume_controls.h"
#include "ui/view_widget_base.h"

namespace {
QString image(const char* name) { return QString(":/Rsc/RESSOURCES_UI/") + name; }
}  // namespace

ViewBottomCtrl::ViewBottomCtrl(QWidget* parent, GlobalSettings* settings) : QWidget(parent), m_settings(settings) {
    view_set_palette_color(this, QPalette::Window, QColor(23, 43, 55));
    setAutoFillBackground(true);

    const QSize square(32, 32);
    addButton(Button_Snapshot, square, {image("SNAPSHOT.png")}, "Snapshot");
    addButton(Button_SetIn, QSize(23, 32), {image("SET_IN.png")},
              "Set in Point / Alt clic : reset In point / Shift clic : go to In point");
    addButton(Button_SetOut, QSize(23, 32), {image("SET_OUT.png")},
              "Set out Point / Alt clic : reset Out point / Shift clic : go to Out point");
    m_time = new ViewEditableTimeSpendTotal(this, QRect(0, 0, 180, 20));
    m_time->tag = 0;
    addButton(Button_Start, square, {image("NAVIGATION_START.png")}, "Go to start");
    addButton(Button_Prev, square, {image("NAVIGATION_PREV_F.png")},
              "Prev frame / Shift : Go to prev 10 frames / ALt Shift : Go to prev sec");
    addButton(Button_PlayReverse, square, {image("NAVIGATION_PLAY_REVERSE.png"), image("NAVIGATION_PAUSE.png")},
              "Play reverse");
    addButton(Button_Play, square, {image("NAVIGATION_PLAY.png"), image("NAVIGATION_PAUSE.png")}, "Play");
    addButton(Button_Next, square, {image("NAVIGATION_NEXT_F.png")},
              "Next frame / Shift : Go to next 10 frames / ALt Shift : Go to next sec");
    addButton(Button_End, square, {image("NAVIGATION_END.png")}, "Go to end");
    addButton(Button_PlayMode, square,
              {image("NAVIGATION_PLAY_LOOP_02_OFF.png"), image("NAVIGATION_PLAY_LOOP_02.png")}, "Play mode");
    addButton(Button_FullScreen, square,
              {image("NAVIGATION_FULL_SCREEN_ON.png"), image("NAVIGATION_FULL_SCREEN_OFF.png")}, "Toggle fullscreen");
    m_volume = new ViewVolumeControls(this, QRect(0, 0, 165, 32));
    addButton(Button_Information, square, {image("INFO.png")}, "Show information");

    connect(m_buttons[Button_Snapshot], &ViewBtnImage::ViewBtnImage_RightClic, this,
            &ViewBottomCtrl::ViewBtnImage_RightClic);
    connect(m_time, &ViewEditableTimeSpendTotal::ViewEditableTimeSpendTotal_NewTimeValue, this,
            &ViewBottomCtrl::ViewEditableTimeSpendTotal_NewTimeValue);
    connect(m_time, &ViewEditableTimeSpendTotal::ViewEditableTimeSpendTotal_NewTimeValueByOffset, this,
            &ViewBottomCtrl::ViewEditableTimeSpendTotal_NewTimeValueByOffset);
    connect(m_time, &ViewEditableTimeSpendTotal::ViewEditableTimeSpendTotal_InvalidNewTime, this,
            &ViewBottomCtrl::ViewEditableTimeSpendTotal_InvalidNewTime);
    connect(m_time, &ViewEditableTimeSpendTotal::ViewEditableTimeSpendTotal_ChangeTimeMode, this,
            &ViewBottomCtrl::ViewEditableTimeSpendTotalDelegate_ChangeTimeMode);
}

ViewBtnImage* ViewBottomCtrl::addButton(uint32_t tag, QSize size, const QStringList& images, const QString& tooltip) {
    auto* button = new ViewBtnImage(this, QRect(QPoint(0, 0), size), images);
    button->setId(tag);
    button->setToolTip(tooltip);
    connect(button, &ViewBtnImage::ViewBtnImage_Clic, this, &ViewBottomCtrl::ViewBtnImage_Clic);
    m_buttons[tag] = button;
    return button;
}

ViewBtnImage* ViewBottomCtrl::button(uint32_t tag) const {
    return tag >= Button_Snapshot && tag <= Button_Information ? m_buttons[tag] : nullptr;
}

void ViewBottomCtrl::ViewBtnImage_Clic(uint32_t senderTag, Qt::KeyboardModifiers flags) {
    const bool shift = flags.testFlag(Qt::ShiftModifier);
    const bool alt = flags.testFlag(Qt::AltModifier);
    switch (senderTag) {
        case Button_Snapshot: emit viewControlsClicSnapshot(); break;
        case Button_SetIn:  // Alt first: Alt with Shift resets
            if (alt) emit viewControlsClicResetIn();
            else if (shift) emit viewControlsClicGoToIn();
            else emit viewControlsClicSetIn();
            break;
        case Button_SetOut:
            if (alt) emit viewControlsClicResetOut();
            else if (shift) emit viewControlsClicGoToOut();
            else emit viewControlsClicSetOut();
            break;
        case Button_Start: emit viewControlsClicStart(); break;
        case Button_Prev:
            if (shift && alt) emit viewControlsClicPrevSecond();
            else if (shift) emit viewControlsClicPrev10Frames();
            else emit viewControlsClicPrevFrame();
            break;
        case Button_Play: emit viewControlsClicPlay(); break;
        case Button_PlayReverse: emit viewControlsClicPlayReverse(); break;
        case Button_Next:
            if (shift && alt) emit viewControlsClicNextSecond();
            else if (shift) emit viewControlsClicNext10Frames();
            else emit viewControlsClicNextFrame();
            break;
        case Button_End: emit viewControlsClicEnd(); break;
        case Button_PlayMode:  // the button has already stepped to its new picture
            emit viewControlsClicPlayMode(isPlayModeLoop() ? 1 : 0);
            break;
        case Button_FullScreen: emit viewControlsClicFullScreen(); break;
        case Button_Information: emit viewControlsClicInformation(); break;
        default: qDebug("Unknown sender tag : %lu", static_cast<unsigned long>(senderTag)); break;
    }
}

void ViewBottomCtrl::ViewBtnImage_RightClic(uint32_t senderTag, QMouseEvent* event) {
    if (senderTag == Button_Snapshot) emit viewControlsRightClicSnapshot(event);
}

void ViewBottomCtrl::ViewEditableTimeSpendTotal_NewTimeValue(uint32_t nFrame) {
    emit viewControlsSetNewTimeFrame(nFrame);
}

void ViewBottomCtrl::ViewEditableTimeSpendTotal_NewTimeValueByOffset(int64_t nFrameOffset) {
    emit viewControlsSetNewTimeFrameOffset(nFrameOffset);
}

void ViewBottomCtrl::ViewEditableTimeSpendTotal_InvalidNewTime() { qDebug("Invalid time set"); }

void ViewBottomCtrl::ViewEditableTimeSpendTotalDelegate_ChangeTimeMode(UiTimemode mode) {
    if (m_settings) m_settings->ui_timemode = mode;
    emit viewControlsTimemodeChanged();
}

void ViewBottomCtrl::setControlsEnabled(bool enabled) {
    for (uint32_t tag : {Button_Start, Button_Prev, Button_PlayReverse, Button_Play, Button_Next, Button_End,
                         Button_Snapshot, Button_Information, Button_SetIn, Button_SetOut})
        m_buttons[tag]->setEnabledLook(enabled);
}

void ViewBottomCtrl::setPlayStepImages(int32_t step) {
    m_buttons[Button_Play]->setImageIndex(step > 0 ? 1 : 0, false);
    m_buttons[Button_PlayReverse]->setImageIndex(step < 0 ? 1 : 0, false);
}

void ViewBottomCtrl::setPlayModeLoop(bool loop) { m_buttons[Button_PlayMode]->setImageIndex(loop ? 1 : 0, false); }

bool ViewBottomCtrl::isPlayModeLoop() const { return m_buttons[Button_PlayMode]->imageIndex() != 0; }

void ViewBottomCtrl::resizeEvent(QResizeEvent*) {
    const int w = width();
    const int h = height();
    const int middle = w / 2;
    const auto centre_y = [h](const QWidget* widget) { return (h - widget->height()) / 2; };
    const auto place_at = [&](QWidget* widget, int x) { widget->move(x, centre_y(widget)); };
    const auto place_sized = [&](QWidget* widget, int x, QSize size) {
        widget->setGeometry(x, (h - size.height()) / 2, size.width(), size.height());
    };
    ViewBtnImage* const* b = m_buttons;

    place_at(b[Button_Information], w - b[Button_Information]->width() - 5);
    place_at(m_volume, b[Button_Information]->x() - 40 - m_volume->width());
    m_volume->updateLayout();
    place_at(b[Button_Snapshot], 70);

    const QSize play = b[Button_Play]->size();
    place_sized(b[Button_Play], middle + 2, play);
    place_sized(b[Button_Next], b[Button_Play]->x() + 5 + play.width(), play);
    place_sized(b[Button_End], b[Button_Next]->x() + 5 + play.width(), play);
    place_at(b[Button_PlayMode], b[Button_End]->x() + 35 + play.width());
    place_at(b[Button_FullScreen], b[Button_PlayMode]->x() + b[Button_PlayMode]->width() + 40);

    const QSize mode = b[Button_PlayMode]->size();
    place_sized(b[Button_PlayReverse], middle - play.width() - 2, play);
    place_sized(b[Button_Prev], b[Button_PlayReverse]->x() - 5 - play.width(), mode);
    place_sized(b[Button_Start], b[Button_Prev]->x() - 5 - play.width(), mode);
    place_at(m_time, b[Button_Start]->x() - 40 - m_time->width());
    m_time->updateLayout();

    const int in_width = b[Button_SetIn]->width();
    place_sized(b[Button_SetOut], m_time->x() - 10 - in_width, QSize(in_width, play.height()));
    place_sized(b[Button_SetIn], b[Button_SetOut]->x() - 2 - in_width, QSize(in_width, play.height()));

    // The less important controls go first as the bar narrows.
    const std::pair<QWidget*, int> thresholds[] = {
        {m_time, 745},          {b[Button_Start], 310},    {b[Button_Prev], 240},    {b[Button_Next], 240},
        {b[Button_End], 310},   {b[Button_Snapshot], 880}, {b[Button_PlayMode], 445}, {b[Button_FullScreen], 600},
        {m_volume, 980},        {b[Button_SetIn], 1020},   {b[Button_SetOut], 1020}};
    for (const auto& [widget, threshold] : thresholds) widget->setVisible(w > threshold);
}
