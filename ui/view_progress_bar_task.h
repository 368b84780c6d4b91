#pragma once
// ViewTaskProgressBar: the per-cent text of a running task over a 7-pixel bar. The
// bar's colour tells the task's state; the three named colours are the ones the
// task rows use (grey idle, amber run, green done). Owned by its Qt parent. GUI
// thread only.
#include <QRect>
#include <QWidget>

#include <cstdint>

class ViewLabel;
class ViewProgress;

class ViewTaskProgressBar : public QWidget {
    Q_OBJECT
public:
    ViewTaskProgressBar(QWidget* parent, const QRect& geometry);

    // "<p> %" and a bar filled to p / 100, with p limited to 100.
    void setProgress(uint32_t percent);
    void resetProgress() { setProgress(0); }

    void setBackgroundColor(const QColor& colour);  // behind the bar
    void setBarBrush(const QColor& colour);         // the bar itself, any colour
    void setIdleColor();                            // RGB(101,101,101)
    void setRunColor();                             // RGB(254,178,7)
    void setDoneColor();                            // RGB(0,159,115)

    ViewLabel* textLabel() const { return m_text; }
    ViewProgress* bar() const { return m_bar; }

private:
    ViewLabel* m_text = nullptr;
    ViewProgress* m_bar = nullptr;
};
