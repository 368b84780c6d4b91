#pragma once
// DialogFrame: the one base of the program's two kinds of window other than the main
// window. BaseDialog (the modal dialog, on QDialog) and BaseDialogWidget (the floating
// panel, on QWidget) are thin types over it, each with its button signals and what
// only it has. The frame holds what they share: the dark background (RGB(6,11,14)),
// the bottom buttons placed from the right, the OK, cancel and abort closes, ending
// the number still being typed before the window closes, the high-DPI flag that
// follows the screen of the native window, and keeping a window that grows inside its
// screen.
//
// `Self` is the thin type (it declares clic_btn_dialog_1, _2 and _3), `QtWindow` its
// Qt base. Instantiated for the two bases only, in base_dialog_common.cpp.
// Owned by its creator (or Qt parent). GUI thread only.
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <cstdint>

class QEvent;
class QScreen;
class ViewBtnText;

template <class Self, class QtWindow>
class DialogFrame : public QtWindow {
public:
    // A 100 x 25 button with the default colours, in no list.
    ViewBtnText* createButton(const QString& text);
    // New right buttons that close the window (see the close slots).
    ViewBtnText* addOkButton(const QString& text);
    ViewBtnText* addCancelButton(const QString& text);
    // In the order they were added; the first is right-most.
    const QList<ViewBtnText*>& rightButtons() const { return m_rightButtons; }

    // Re-reads the DPI on every screen change of the native window, and once now.
    // Logs "Can't link screen Changed" before the window has a native window.
    void linkScreenChanged();
    bool isHighDpi() const { return m_highDpi != 0; }

    // Sent with the button signals; the owner may set it.
    uint32_t senderTag = 0;

    // The slots both bases share (connected by function pointer). OK, cancel and
    // abort emit clic_btn_dialog_1, _2 and _3 with the sender tag, then close the
    // window; closing does not delete it.
    virtual void close_dialog_ok();
    virtual void close_dialog_cancel();
    virtual void close_dialog_abort();
    // The DPI of the native window (at least 96) sets the flag from 97 on; only a
    // change is stored. Without a native window logs "Can't find window for dialog"
    // and keeps the flag.
    void screen_changed_slot(QScreen* screen);

protected:
    DialogFrame(QWidget* parent, Qt::WindowFlags flags);

    // createButton with `tag`, appended to the right buttons; its click is the
    // caller's to connect.
    ViewBtnText* addRightButton(const QString& text, uint32_t tag);
    // Places the right buttons along the bottom edge, 10 pixels from the right and
    // bottom with 5 pixels between them. Returns the x left of the last one, minus
    // the gap.
    int placeRightButtons();

    // Ends a pending edit before a close event is handled, and for a dialog before
    // Escape rejects it: here rather than in closeEvent or reject, which derived
    // windows override and act in before they call the base. Ending the edit stores
    // nothing by itself, so Cancel and Escape still store nothing.
    // A window that grows keeps its frame inside the available area of its screen: a
    // resize made by the program while it is shown, or made while it was hidden and
    // seen when it is shown again, and its first showing, move it left or up as far as
    // needed (see frame_moved_inside); otherwise it stays where it is. The user's own resizing of
    // the frame and a maximised or full-screen window are the window system's.
    bool event(QEvent* event) override;

private:
    // Emits the button signal with the sender tag, then closes the window.
    void closeWith(void (Self::*buttonSignal)(uint32_t));
    void keepInsideScreen();

    uint8_t m_highDpi = 0;
    QSize m_sizeWhenHidden;  // invalid until first hidden after being shown
    QList<ViewBtnText*> m_rightButtons;
};

// A dialog of `size` shrunk to fit `area` and centred in it; the area's origin counts
// (a screen left of or above the primary one has a negative or non-zero origin).
QRect dialog_fit_to_area(const QSize& size, const QRect& area);

// The top-left corner that brings `frame`'s right and bottom edges inside `area` by
// moving it left and up only, never past the area's left and top edges (a frame wider
// or taller than the area keeps that corner on it); `frame`'s own corner when it
// already fits.
QPoint frame_moved_inside(const QRect& frame, const QRect& area);
