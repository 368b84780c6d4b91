#include "ui/panel_settings.h"

#include <QWindow>

PanelSettings::PanelSettings(QObject* parent, const QWindow* window) : QObject(parent) {
    if (window)
        static_cast<PanelRecord&>(*this) = PanelRecord::fromWindow(*window);
}

PanelSettings::PanelSettings(QObject* parent, const QXmlStreamAttributes& attributes)
    : QObject(parent), PanelRecord(PanelRecord::fromAttributes(attributes)) {}

void PanelSettings::checkOnScreens(const QList<QScreen*>& screens) { validateOnScreens(screens); }
