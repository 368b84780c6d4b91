#include "ui/panel_settings.h"

#include <QWindow>

PanelSettings::PanelSettings(QObject* parent, const QWindow* window) : QObject(parent) {
    if (window)
        static_cast<PanelRecord&>(*this) = PanelRecord::fromWindow(*window);
}

PanelSettings::PanelSettings(QObject* parent, const QXmlStreamAttributes& attributes)
    : QObject(parent), PanelRecord(PanelRecord::fromAttributes(attributes)) {}

void PanelSettings::checkOnScreens(const QList<QScreen*>& screens) {
    // QRect::contains accepts a rectangle of zero height or negative width; such a
    // record would restore an invisible window.
    const bool restorable = valid && w > 0 && h > 0;
    validateOnScreens(screens);
    valid = valid && restorable;
}
