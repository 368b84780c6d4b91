#pragma once
// A flat coloured bar (separators, drop markers). GUI thread only.
#include <QColor>
#include <QWidget>

class ViewBarInsertScroll : public QWidget {
    Q_OBJECT
public:
    // Filled with RGB(200,200,200) until `setColor`.
    ViewBarInsertScroll(QWidget* parent, const QRect& geometry);
    void setColor(const QColor& colour);
};
