#pragma once
// ViewParamsColor: a colour swatch of the preference pages. A click opens the
// colour dialog and takes its colour; a cancelled dialog changes and sends nothing.
// Alt-click restores the default colour without the dialog. Each change sends
// ViewParamsColor_ValueChanged with the owner's tag. A click first ends the edit
// still being typed in an entry of the window (view_pending_edit.h).
//
// The dialog is reached through a process-wide provider so that tests (and any
// caller without a screen) never wait on a modal loop.
//
// Owned by its Qt parent. GUI thread only.
#include <QColor>
#include <QRect>
#include <QWidget>

#include <cstdint>
#include <functional>

class ViewParamsColor : public QWidget {
    Q_OBJECT
public:
    // Asks the user for a colour starting at `initial`; an invalid colour means
    // cancelled.
    using ColorDialogProvider = std::function<QColor(const QColor& initial, QWidget* parent, const QString& title)>;
    // An empty provider brings back QColorDialog::getColor.
    static void setColorDialogProvider(ColorDialogProvider provider);

    ViewParamsColor(QWidget* parent, const QRect& geometry);

    QColor color() const { return m_color; }
    // Stores and repaints; nothing is sent.
    void setColor(const QColor& color);
    // Stores only.
    void setDefaultColor(const QColor& color) { m_defaultColor = color; }
    QColor defaultColor() const { return m_defaultColor; }
    // Back to the default colour, with the change signal.
    void resetToDefault();
    void applyColor() { resetToDefault(); }

    // Sent first in ViewParamsColor_ValueChanged; written by the owner.
    uint32_t tag = 0;

signals:
    void ViewParamsColor_ValueChanged(uint32_t senderTag, QColor nColor);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_color = Qt::white;
    QColor m_defaultColor = Qt::white;
};
