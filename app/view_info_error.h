#pragma once
// ViewInfoError: the message box drawn over the video (information, warning or
// error): a title, a message and an optional state icon. Never shown as a window:
// the main window renders it into an image for the video overlay. GUI thread only.
#include <QRect>
#include <QString>
#include <QWidget>

class ViewLabel;
class View_SimpleImage;

class ViewInfoError : public QWidget {
    Q_OBJECT
public:
    // Title "Info" over the top 40 pixels, the message under it, both centred.
    ViewInfoError(QWidget* parent, const QRect& geometry);

    void setTexts(const QString& title, const QString& message);
    void setStateInfo();     // no icon
    void setStateError();    // error icon
    void setStateWarning();  // warning icon

    ViewLabel* titleLabel() const { return m_title; }
    ViewLabel* messageLabel() const { return m_message; }
    View_SimpleImage* errorIcon() const { return m_errorIcon; }
    View_SimpleImage* warningIcon() const { return m_warningIcon; }

private:
    ViewLabel* m_title;
    ViewLabel* m_message;
    View_SimpleImage* m_errorIcon;
    View_SimpleImage* m_warningIcon;
};
