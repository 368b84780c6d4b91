#pragma once
// View_SimpleImage: one picture fitted into the widget, aspect kept and centred.
// A picture that fails to load is logged ("Can't load View Image : '" + path + "'")
// and paints nothing, as does a widget made without a path.
//
// Owned by its Qt parent. GUI thread only.
#include <QPixmap>
#include <QRect>
#include <QWidget>

class View_SimpleImage : public QWidget {
    Q_OBJECT
public:
    View_SimpleImage(QWidget* parent, const QRect& geometry, const QString& path);

    // The rectangle the picture is drawn into, empty when nothing is drawn.
    QRect imageRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_pixmap;
};
