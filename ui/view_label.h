#pragma once
// ViewLabel: the text label every widget of the toolkit uses for its texts. Its kind
// (ViewLabelType) fixes the Roboto face, the point size and, for some kinds, the text
// colour. A left press sends ViewLabel_Clic, a right press ViewLabel_RightClic and
// then act_mouse_right_clic, each with the owner's tag first; a label with the
// disabled look (opacity 0.6) sends nothing. Before sending, a press ends the edit
// still being typed in an entry of the window (view_pending_edit.h): text buttons,
// combo boxes and switch texts act through this press.
//
// Owned by its Qt parent. GUI thread only. Failures (unknown kind, missing font file)
// are logged to the debug channel and the label keeps Qt's default font.
#include <QLabel>
#include <QRect>
#include <QString>

#include <cstdint>

class QMouseEvent;

// Kind of a label:
//  0: Regular 10, RGB(213,213,213)   1, 4, 8, 12, 14: Regular 10
//  2, 3: Italic 11                   5: Italic 10
//  6, 7: Italic 11, RGB(106,186,253) 9: Regular 20
//  10: Bold 12                       11: Regular 13       13: Regular 11
// Other kinds are white; 15 and above keep Qt's default font.
using ViewLabelType = uint32_t;

class ViewLabel : public QLabel {
    Q_OBJECT
public:
    ViewLabel(QWidget* parent, const QRect& geometry, const QString& text, ViewLabelType kind);

    // Stores the text; shows it as is, elided to the width after setElideMiddle, or in
    // lines after setWrapToWidth.
    void setText(const QString& text);
    // The full text as last given (what is shown may be elided or in lines).
    QString text() const { return m_text; }
    // What the label shows.
    QString shownText() const { return QLabel::text(); }

    void alignCenter();
    void alignRight();
    void setTextColor(const QColor& color);
    void setBackgroundColor(const QColor& color);

    // Enabled look: opacity 1.0, or 0.6 with the click signals stopped.
    void setEnabledLook(bool enabled);
    void enable() { setEnabledLook(true); }
    void disable() { setEnabledLook(false); }
    bool isEnabledLook() const { return m_enabled; }

    // A new opacity effect at `opacity`, or animated from `from` to `to`; a fade that
    // runs to its end leaves a fresh effect at `to` (as setOpacity(to) would).
    void setOpacity(float opacity);
    void animateOpacity(double from, double to, float durationMs);

    // From the next setText or resize on, a too long text loses its middle to "…".
    void setElideMiddle();
    // Qt::ElideNone unless setElideMiddle was called.
    Qt::TextElideMode elideMode() const { return m_elideMode; }

    // From now on, at every setText and resize, the text is broken into lines to the
    // width, so a message is read whole: at spaces, and anywhere inside a word (a long
    // path) that does not fit a line by itself. Lines break also at '\n'.
    void setWrapToWidth();
    // The height the text takes broken into lines at `width` (as setWrapToWidth shows
    // it), in this label's font.
    int wrappedHeight(int width) const;

    // Sent first in every signal; written by the owner.
    uint32_t tag = 0;

signals:
    void ViewLabel_Clic(uint32_t senderTag, Qt::KeyboardModifiers flags);
    // The event is valid only during the emission (direct connections).
    void ViewLabel_RightClic(uint32_t senderTag, const QMouseEvent* event);
    void act_mouse_right_clic();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void applyKind(ViewLabelType kind);
    void showText();

    Qt::TextElideMode m_elideMode = Qt::ElideNone;
    bool m_wrapToWidth = false;
    QString m_text;
    bool m_enabled = true;
};
