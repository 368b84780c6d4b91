#pragma once
// The main window's action table: one row per entry of the menu bar, of the video's
// context menu and of the plain keys, in the menu bar's order. Each row says where the
// entry appears and with which text, its shortcut or key, which state its check mark
// (or its changing text) shows, and which slot it runs. Everything that shows or binds
// an action reads it from here:
//   MainWindow::createMenus        builds the menu bar (main_window_menus.cpp);
//   MainWindow::viewVideoRightClic builds the video's context menu from the rows that
//                                  have a context text;
//   MainWindow::keyPressEvent      runs the key rows (findKeyAction);
//   WindowShortcuts                lists the rows' help lines.
// Keys whose meaning depends on being held or released (K, Space, the I and O points)
// stay in keyPressEvent/keyReleaseEvent; only their help lines are rows here.
//
// The table is constant data; the functions below are pure and may be called from
// any thread (the rows' slots themselves are the main window's: GUI thread only).
#include <QKeySequence>
#include <QStringList>
#include <Qt>

#include <cstdint>
#include <span>

class MainWindow;

// The menu-bar menu of a row, in the bar's order; None: not in the menu bar.
enum class ActionMenu : uint8_t { None, File, Window, View, Analyse, Help };

// A state the menus show; MainWindow::actionState reads it from the window, the
// renderer, the settings, the panels or the movie. The flags read 0 or 1; the modes
// read the index of the entry to check (-1: none).
enum class ActionState : uint8_t {
    None,
    InformationShown,
    ControlsShown,
    FullScreen,
    SafeAreaShown,
    VideoAreaShown,
    CropBoxAreaShown,
    MetersPanelShown,
    MappingPanelShown,
    MovieHasDisplayWindow,
    CropBoxMode,
    BackgroundMode,
    AlphaMode,
    FpsMode,
    ChannelMode,
    ScaleMode,
    ZoomLevel,
};

// A plain key that keyPressEvent runs. The modifiers in `held` must be down and those
// in `notHeld` up; any other modifier may be down too.
struct ActionKey {
    Qt::Key key = Qt::Key(0);
    Qt::KeyboardModifiers held = {};
    Qt::KeyboardModifiers notHeld = {};
    bool withoutMovie = false;  // the key also works with no movie open
};

// The columns of the keyboard shortcuts window.
enum class HelpGroup : uint8_t { None, Navigation, View, PanZoom };

// A line of the keyboard shortcuts window: its column, its place in the column (from
// 1) and its text.
struct ActionHelp {
    HelpGroup group = HelpGroup::None;
    int line = 0;
    const char* text = nullptr;
};

struct MainWindowAction {
    ActionMenu menu = ActionMenu::None;
    // The submenu holding the entry, in the menu bar and in the context menu alike.
    const char* submenu = nullptr;
    // The menu bar's text (translated in the window's context). A menu row without
    // one is a separator. For a choice row it is the title of the choice submenu.
    const char* label = nullptr;
    // The text while `state` is on, in both menus. A row that has one shows its state
    // by its text; any other row with a flag state shows it as a check mark.
    const char* onLabel = nullptr;
    // The text in the video's context menu (plain, untranslated); null: not there.
    const char* contextLabel = nullptr;
    ActionState state = ActionState::None;
    // The entry (a choice row: its submenu) is enabled only while this flag is on.
    ActionState enabledWhen = ActionState::None;
    // A choice row: a submenu with one checkable entry per text; entry i runs
    // `choose` with i and `state` names the entry to check. The texts are `choices`
    // (translated in the menu bar), or `choiceNames()` when they come from elsewhere.
    std::span<const char* const> choices = {};
    QStringList (*choiceNames)() = nullptr;
    void (MainWindow::*run)() = nullptr;
    void (MainWindow::*choose)(uint32_t) = nullptr;
    // A menu row's QAction shortcut: a standard key or a key combination.
    QKeySequence::StandardKey standardShortcut = QKeySequence::UnknownKey;
    QKeyCombination shortcut = QKeyCombination();
    // A row outside the menus run by keyPressEvent.
    ActionKey key = {};
    ActionHelp help = {};

    bool isSeparator() const { return menu != ActionMenu::None && !label; }
    bool isChoice() const { return choose != nullptr; }
    bool hasShortcut() const {
        return standardShortcut != QKeySequence::UnknownKey || shortcut != QKeyCombination();
    }
    QKeySequence shortcutSequence() const {
        return standardShortcut != QKeySequence::UnknownKey ? QKeySequence(standardShortcut) : QKeySequence(shortcut);
    }
};

// Which menu's texts: the menu bar's (translated in the window's context) or the
// video context menu's (plain).
enum class ActionTexts : uint8_t { MenuBar, Context };

// The title of a menu-bar menu, translated.
QString actionMenuTitle(ActionMenu menu);
// `text` as a menu of the kind shows it.
QString actionText(const char* text, ActionTexts texts);
// A row's text in a menu of the kind: its on text while `on`, when it has one.
QString actionLabel(const MainWindowAction& row, ActionTexts texts, bool on = false);
// A choice row's entries in a menu of the kind.
QStringList actionChoiceTexts(const MainWindowAction& row, ActionTexts texts);

// Every row: the menu bar's entries in its order, then the keys and help-only lines.
std::span<const MainWindowAction> mainWindowActions();

// The key row that a press of `key` with `modifiers` runs, or null.
const MainWindowAction* findKeyAction(int key, Qt::KeyboardModifiers modifiers);

// The help lines of one column of the keyboard shortcuts window, in their order.
QStringList actionHelpLines(HelpGroup group);
