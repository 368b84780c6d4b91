#pragma once
// WindowShortcuts: the floating "Keyboard Shortcuts" panel of the Help menu. Only
// text: three groups of lines over a background picture, in a scroll view (the
// picture is larger than the panel). The lines are the help texts of the main window's
// action table (app/main_window_actions.h), which also binds the keys. Made once,
// without a parent, and kept by the main window, which shows and activates it on
// every request. GUI thread only.
#include <QList>
#include <QPoint>
#include <QStringList>

#include "ui/base_dialog_widget.h"

class ViewLabel;
class ViewSimpleScroll;

class WindowShortcuts : public BaseDialogWidget {
    Q_OBJECT
public:
    explicit WindowShortcuts(QWidget* parent = nullptr);

    ViewSimpleScroll* scrollView() const { return m_scroll; }
    // Every label of the panel: the title, then each group's title and lines.
    const QList<ViewLabel*>& labels() const { return m_labels; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildShortcutList();
    // The group title (bold, teal, centred) at `at`, then one centred line every 25
    // pixels from 35 below it, all `width` wide.
    void addGroup(const QString& title, QPoint at, int width, const QStringList& lines);

    ViewSimpleScroll* m_scroll = nullptr;
    QList<ViewLabel*> m_labels;
};
