#include "ui/view_widget_base.h"

#include <QGraphicsOpacityEffect>
#include <QWidget>

QGraphicsOpacityEffect* view_set_opacity(QWidget* widget, double opacity) {
    auto* effect = new QGraphicsOpacityEffect(widget);
    effect->setOpacity(opacity);
    widget->setGraphicsEffect(effect);  // deletes the previous effect
    return effect;
}

double view_opacity(const QWidget* widget) {
    const auto* effect = qobject_cast<const QGraphicsOpacityEffect*>(widget->graphicsEffect());
    return effect ? effect->opacity() : 1.0;
}

void view_set_palette_color(QWidget* widget, QPalette::ColorRole role, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setBrush(QPalette::All, role, color);
    widget->setPalette(palette);
}
