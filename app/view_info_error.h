#pragma once
// ViewInfoError: the message box drawn over the video (information, warning or
// error): a title, a message and an optional state icon. Never shown as a window:
// the main window renders it into an image for the video overlay, at the box's size
// and centred in the video area. GUI thread only.
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

class ViewLabel;
class View_SimpleImage;

class ViewInfoError : public QWidget {
    Q_OBJECT
public:
    // Title "Info" over the top 40 pixels, the message under it, both centred.
    // `geometry`'s size is the box's usual size, which a message that fits keeps.
    ViewInfoError(QWidget* parent, const QRect& geometry);

    // Sets both texts and sizes the box for the message: one that fits on a line, or
    // in lines within the usual box, keeps the usual box. A longer one is broken into
    // lines (inside a word, such as a path, where it must) in a box grown in height
    // by them; one too tall for the area (setArea) widens the box to the area's width
    // first, and one too tall even then is shown from its beginning in a box as tall
    // as the area. The box keeps at least its usual size, but for an area narrower
    // than that, whose width it takes.
    void setTexts(const QString& title, const QString& message);
    // The area the box is drawn in (the video area), within which it grows; the box is
    // sized again for it. Until it is given, the box grows in height without limit.
    void setArea(const QSize& area);
    QSize area() const { return m_area; }

    void setStateInfo();     // no icon
    void setStateError();    // error icon
    void setStateWarning();  // warning icon

    ViewLabel* titleLabel() const { return m_title; }
    ViewLabel* messageLabel() const { return m_message; }
    View_SimpleImage* errorIcon() const { return m_errorIcon; }
    View_SimpleImage* warningIcon() const { return m_warningIcon; }

private:
    void layoutBox();
    void placeMessage(const QRect& geometry, Qt::Alignment alignment);

    QSize m_usual;
    QSize m_area;
    ViewLabel* m_title;
    ViewLabel* m_message;
    View_SimpleImage* m_errorIcon;
    View_SimpleImage* m_warningIcon;
};
