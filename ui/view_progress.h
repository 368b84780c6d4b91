#pragma once
// ViewProgress: a rounded bar painted over a background, filled to its value (0 to
// 1; values outside are limited). Owned by its Qt parent. GUI thread only.
#include <QBrush>
#include <QWidget>

class ViewProgress : public QWidget {
    Q_OBJECT
public:
    ViewProgress(QWidget* parent, const QRect& geometry);

    void setBackgroundColor(const QColor& colour);
    void setBarColor(const QColor& colour);
    void setValue(float value);

    float value() const { return m_value; }
    QColor barColor() const { return m_bar.color(); }
    QColor backgroundColor() const { return m_background.color(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QBrush m_background{QColor(11, 13, 16)};
    QBrush m_bar{QColor(0, 159, 115)};
    float m_value = 0.0f;
};
