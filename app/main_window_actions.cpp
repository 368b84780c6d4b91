#include "app/main_window_actions.h"

#include <QCoreApplication>

#include <algorithm>
#include <utility>
#include <vector>

#include "app/main_window.h"
#include "render/vulkan_win_renderer.h"

namespace {

// Choice texts. Entry i of a choice runs its slot with i: the background slot maps
// the entry to the renderer's mode (Custom Color and Checkerboard swap places).
const char* const kCropBoxChoices[] = {QT_TR_NOOP("File"), QT_TR_NOOP("Position file in Display Window")};
const char* const kBackgroundChoices[] = {QT_TR_NOOP("Black"), QT_TR_NOOP("White"), QT_TR_NOOP("Custom Color"),
                                          QT_TR_NOOP("Checkerboard"), QT_TR_NOOP("Custom Checkerboard")};
const char* const kAlphaChoices[] = {QT_TR_NOOP("Premultiply Black"), QT_TR_NOOP("Straight")};
const char* const kFpsChoices[] = {"Same as source", "23.98", "24", "25", "29.97", "30", "48", "50", "59.94", "60"};
const char* const kChannelChoices[] = {QT_TR_NOOP("RGBA"), QT_TR_NOOP("RGB"), QT_TR_NOOP("Alpha")};
const char* const kScalingChoices[] = {QT_TR_NOOP("Low (Nearest)"), QT_TR_NOOP("Normal (Bilinear)"),
                                       QT_TR_NOOP("High (Bicubic)")};

constexpr Qt::KeyboardModifiers kShift = Qt::ShiftModifier;
constexpr Qt::KeyboardModifiers kAlt = Qt::AltModifier;
constexpr Qt::KeyboardModifiers kCtrl = Qt::ControlModifier;

using M = MainWindow;
using Menu = ActionMenu;
using State = ActionState;
using Help = HelpGroup;

}  // namespace

// The rows are in the menu bar's order; the key rows follow in the order of the
// shortcuts window's columns. Designated fields must keep the struct's field order.
std::span<const MainWindowAction> mainWindowActions() {
    static const MainWindowAction kActions[] = {
        // File
        {.menu = Menu::File, .label = QT_TR_NOOP("About NorvuHAPPlayer"), .run = &M::act_about_menu},
        {.menu = Menu::File},
        {.menu = Menu::File, .label = QT_TR_NOOP("Open..."), .run = &M::act_open_menu,
         .standardShortcut = QKeySequence::Open, .help = {Help::View, 4, "Ctr O : Open file"}},
        {.menu = Menu::File},
        {.menu = Menu::File, .label = QT_TR_NOOP("Quit"), .run = &M::act_quit_menu,
         .standardShortcut = QKeySequence::Quit},

        // Window
        {.menu = Menu::Window, .label = QT_TR_NOOP("Audio meters"), .state = State::MetersPanelShown,
         .run = &M::act_menu_audio_meters},
        {.menu = Menu::Window, .label = QT_TR_NOOP("Audio mapping"), .state = State::MappingPanelShown,
         .run = &M::act_menu_audio_mapping},
        {.menu = Menu::Window},
        {.menu = Menu::Window, .label = QT_TR_NOOP("Hardware informations..."), .run = &M::act_menu_hardware_info},
        {.menu = Menu::Window, .label = QT_TR_NOOP("Preferences..."), .run = &M::act_menu_prefs},

        // View; the context menu shows the rows with a context text, in this order.
        {.menu = Menu::View, .label = QT_TR_NOOP("Show informations"), .onLabel = QT_TR_NOOP("Hide informations"),
         .state = State::InformationShown, .run = &M::act_menu_show_hide_information,
         .shortcut = Qt::CTRL | Qt::Key_I, .help = {Help::View, 3, "Ctrl i : Show/Hide informations"}},
        {.menu = Menu::View, .label = QT_TR_NOOP("Show controls"), .onLabel = QT_TR_NOOP("Hide controls"),
         .contextLabel = "Show controls", .state = State::ControlsShown, .run = &M::act_menu_show_hide_controls},
        {.menu = Menu::View, .submenu = QT_TR_NOOP("Guides"), .label = QT_TR_NOOP("Safe area"),
         .contextLabel = "Safe Area", .state = State::SafeAreaShown, .run = &M::act_menu_show_hide_safe_area},
        {.menu = Menu::View, .submenu = QT_TR_NOOP("Guides"), .label = QT_TR_NOOP("Video area"),
         .contextLabel = "Video Area", .state = State::VideoAreaShown, .run = &M::act_menu_show_hide_video_area},
        {.menu = Menu::View, .submenu = QT_TR_NOOP("Guides"), .label = QT_TR_NOOP("Crop Box Display Window Area"),
         .contextLabel = "Crop Box Display Window", .state = State::CropBoxAreaShown,
         .run = &M::act_menu_show_hide_cropbox_display_area},
        {.menu = Menu::View, .label = QT_TR_NOOP("Crop Box Display Mode"), .contextLabel = "Crop Box Display Mode",
         .state = State::CropBoxMode, .enabledWhen = State::MovieHasDisplayWindow, .choices = kCropBoxChoices,
         .choose = &M::act_menu_cropbox_display_mode},
        {.menu = Menu::View, .label = QT_TR_NOOP("Background"), .contextLabel = "Background",
         .state = State::BackgroundMode, .choices = kBackgroundChoices, .choose = &M::act_menu_bg},
        {.menu = Menu::View, .label = QT_TR_NOOP("Alpha Mode"), .contextLabel = "Alpha Mode",
         .state = State::AlphaMode, .choices = kAlphaChoices, .choose = &M::act_menu_alpha_mode},
        {.contextLabel = "Interpret Fps", .state = State::FpsMode, .choices = kFpsChoices,
         .choose = &M::act_menu_fps_mode},
        {.menu = Menu::View, .label = QT_TR_NOOP("Channel"), .contextLabel = "Channels", .state = State::ChannelMode,
         .choices = kChannelChoices, .choose = &M::act_menu_channels},
        {.menu = Menu::View, .label = QT_TR_NOOP("Scaling"), .contextLabel = "Scaling Quality",
         .state = State::ScaleMode, .choices = kScalingChoices, .choose = &M::act_menu_scaling},
        {.menu = Menu::View, .label = QT_TR_NOOP("Zoom"), .contextLabel = "Zoom", .state = State::ZoomLevel,
         .choiceNames = &VulkanWinRenderer::zoomLevelNames, .choose = &M::act_menu_zoom},
        {.menu = Menu::View, .label = QT_TR_NOOP("Center Video"), .contextLabel = "Center video",
         .run = &M::act_menu_center_video},
        {.menu = Menu::View, .label = QT_TR_NOOP("Enter Full Screen"), .onLabel = QT_TR_NOOP("Exit Full Screen"),
         .state = State::FullScreen, .run = &M::act_menu_toggle_fullscreen, .shortcut = Qt::CTRL | Qt::Key_F},

        // Analyse
        {.menu = Menu::Analyse, .label = QT_TR_NOOP("File test..."), .run = &M::act_menu_file_test},
        {.menu = Menu::Analyse, .label = QT_TR_NOOP("Audio Analyse..."), .run = &M::act_menu_audio_analyse},
        {.menu = Menu::Analyse, .label = QT_TR_NOOP("Benchmark..."), .run = &M::act_menu_benchmark},

        // Help
        {.menu = Menu::Help, .label = QT_TR_NOOP("Keyboard shortcuts..."), .run = &M::act_keyboard_shortcuts},

        // Keys. Held Space (play/pause tap, pan) and K, and the released I and O, are
        // handled by keyPressEvent/keyReleaseEvent; only their help lines are here.
        {.help = {Help::Navigation, 1, "Space : Play/Pause"}},
        {.run = &M::shuttleForward, .key = {Qt::Key_L},
         .help = {Help::Navigation, 2, "L : Play Forward / Increase play forward speed"}},
        {.help = {Help::Navigation, 3, "K : Pause"}},
        {.run = &M::shuttleReverse, .key = {Qt::Key_J},
         .help = {Help::Navigation, 4, "J : Play backward / Increase play backward speed"}},
        {.run = &M::viewControlsClicPrevFrame, .key = {Qt::Key_Left, {}, kShift},
         .help = {Help::Navigation, 5, "Left / Right arrow : Prev/Next frame"}},
        {.run = &M::viewControlsClicNextFrame, .key = {Qt::Key_Right, {}, kShift}},
        {.run = &M::viewControlsClicPrev10Frames, .key = {Qt::Key_Left, kShift, kAlt},
         .help = {Help::Navigation, 6, "Shift Left / Right arrow : 10 frames before/after"}},
        {.run = &M::viewControlsClicNext10Frames, .key = {Qt::Key_Right, kShift, kAlt}},
        {.run = &M::viewControlsClicPrevSecond, .key = {Qt::Key_Left, kShift | kAlt},
         .help = {Help::Navigation, 7, "Alt Shift Left / Right arrow : 1s before/after"}},
        {.run = &M::viewControlsClicNextSecond, .key = {Qt::Key_Right, kShift | kAlt}},
        {.run = &M::viewControlsClicStart, .key = {Qt::Key_Home}, .help = {Help::Navigation, 8, "Home : Go to start"}},
        {.run = &M::viewControlsClicEnd, .key = {Qt::Key_End}, .help = {Help::Navigation, 9, "End : Go to end"}},
        {.help = {Help::Navigation, 10, "i : Set in point"}},
        {.help = {Help::Navigation, 11, "o : Set out point"}},
        {.help = {Help::Navigation, 12, "Alt i : Reset in point"}},
        {.help = {Help::Navigation, 13, "Alt o : Reset out point"}},
        {.help = {Help::Navigation, 14, "Shift i : Go to in point"}},
        {.help = {Help::Navigation, 15, "Shift o : Go to out point"}},

        // The video window's double click toggles full screen (viewVideoDoubleClick).
        {.help = {Help::View, 1, "Double click : Toggle fullscreen mode"}},
        {.run = &M::exitFullScreen, .key = {Qt::Key_Escape, {}, {}, true},
         .help = {Help::View, 2, "Esc : Output full screen"}},

        // The mouse on the video: the ViewVideo_* and wheel slots.
        {.help = {Help::PanZoom, 1, "Space clic dragged : Pan mode"}},
        {.help = {Help::PanZoom, 2, "Middle mouse clic dragged : Pan"}},
        {.help = {Help::PanZoom, 3, "Middle mouse wheel : Zoom +/-"}},
        {.help = {Help::PanZoom, 4, "Alt Middle mouse wheel : Zoom +/- on cursor"}},
        {.run = &M::zoomInCentre, .key = {Qt::Key_Plus, kCtrl, kAlt}, .help = {Help::PanZoom, 5, "Ctrl + : Zoom +"}},
        {.run = &M::zoomInCentre, .key = {Qt::Key_Equal, kCtrl, kAlt}},
        {.run = &M::zoomInAtPointer, .key = {Qt::Key_Plus, kCtrl | kAlt},
         .help = {Help::PanZoom, 6, "Alt Ctrl + : Zoom + on cursor"}},
        {.run = &M::zoomInAtPointer, .key = {Qt::Key_Equal, kCtrl | kAlt}},
        {.run = &M::zoomOutCentre, .key = {Qt::Key_Minus, kCtrl, kAlt}, .help = {Help::PanZoom, 7, "Ctrl - : Zoom -"}},
        {.run = &M::zoomOutAtPointer, .key = {Qt::Key_Minus, kCtrl | kAlt},
         .help = {Help::PanZoom, 8, "Alt Ctrl - : Zoom - on cursor"}},
        {.run = &M::zoomToFit, .key = {Qt::Key_Z, kShift}, .help = {Help::PanZoom, 9, "Shift Z : Zoom fit"}},
    };
    return kActions;
}

QString actionMenuTitle(ActionMenu menu) {
    switch (menu) {
    case ActionMenu::File: return actionText(QT_TR_NOOP("&File"), ActionTexts::MenuBar);
    case ActionMenu::Window: return actionText(QT_TR_NOOP("&Window"), ActionTexts::MenuBar);
    case ActionMenu::View: return actionText(QT_TR_NOOP("&View"), ActionTexts::MenuBar);
    case ActionMenu::Analyse: return actionText(QT_TR_NOOP("&Analyse"), ActionTexts::MenuBar);
    case ActionMenu::Help: return actionText(QT_TR_NOOP("&Help"), ActionTexts::MenuBar);
    case ActionMenu::None: break;
    }
    return {};
}

QString actionText(const char* text, ActionTexts texts) {
    // The window's tr() context, so that one translation serves every menu-bar text.
    return texts == ActionTexts::MenuBar ? QCoreApplication::translate("MainWindow", text) : QString::fromLatin1(text);
}

QString actionLabel(const MainWindowAction& row, ActionTexts texts, bool on) {
    if (on && row.onLabel) return actionText(row.onLabel, texts);
    return actionText(texts == ActionTexts::MenuBar ? row.label : row.contextLabel, texts);
}

QStringList actionChoiceTexts(const MainWindowAction& row, ActionTexts texts) {
    if (row.choiceNames) return row.choiceNames();
    QStringList list;
    for (const char* choice : row.choices) list << actionText(choice, texts);
    return list;
}

const MainWindowAction* findKeyAction(int key, Qt::KeyboardModifiers modifiers) {
    for (const MainWindowAction& row : mainWindowActions()) {
        if (!row.run || row.key.key != key) continue;
        if ((modifiers & row.key.held) == row.key.held && !(modifiers & row.key.notHeld)) return &row;
    }
    return nullptr;
}

QStringList actionHelpLines(HelpGroup group) {
    std::vector<std::pair<int, const char*>> lines;
    for (const MainWindowAction& row : mainWindowActions())
        if (row.help.group == group && row.help.text) lines.emplace_back(row.help.line, row.help.text);
    std::sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList texts;
    for (const auto& [line, text] : lines) texts << QString::fromLatin1(text);
    return texts;
}
