#include "base/settings/panel_settings.h"

#include <QDebug>
#include <QScreen>
#include <QWindow>
#include <QXmlStreamAttributes>
#include <QXmlStreamWriter>

namespace {
const char* yes_no(bool value) { return value ? "YES" : "NO"; }
}  // namespace

PanelSettings PanelSettings::fromWindow(const QWindow& window) {
    PanelSettings record;
    const QRect geometry = window.geometry();
    record.x = geometry.x();
    record.y = geometry.y();
    record.w = geometry.width();
    record.h = geometry.height();
    record.is_full_screen = window.windowStates().testFlag(Qt::WindowFullScreen);
    record.is_visible = window.isVisible();
    record.valid = true;
    return record;
}

PanelSettings PanelSettings::fromAttributes(const QXmlStreamAttributes& attributes) {
    PanelSettings record;
    record.is_visible = attributes.value("is_visible") == QLatin1String("YES");
    record.is_full_screen = attributes.value("is_full_screen") == QLatin1String("YES");
    struct Field {
        const char* name;
        int32_t PanelSettings::*member;
        const char* error;
    };
    static const Field fields[] = {{"x", &PanelSettings::x, "Error coord x"},
                                   {"y", &PanelSettings::y, "Error coord y"},
                                   {"w", &PanelSettings::w, "Error width"},
                                   {"h", &PanelSettings::h, "Error height"}};
    for (const Field& field : fields) {
        bool ok = false;
        const int value = attributes.value(field.name).toInt(&ok, 10);
        if (!ok) {
            qDebug("%s", field.error);
            return record;  // invalid, this field and the rest at 0
        }
        record.*field.member = value;
    }
    record.valid = true;
    return record;
}

void PanelSettings::checkOnScreens(const QList<QScreen*>& screens) {
    // A record that failed to read stays invalid; an empty rectangle (which
    // QRect::contains accepts) would restore an invisible window.
    const bool restorable = valid && w > 0 && h > 0;
    const QRect rect = geometry();
    valid = false;
    if (!restorable) return;
    for (const QScreen* screen : screens) {
        if (screen && screen->availableGeometry().contains(rect, false)) {
            valid = true;
            return;
        }
    }
}

void PanelSettings::writeXml(QXmlStreamWriter& writer) const {
    writer.writeAttribute("is_visible", yes_no(is_visible));
    writer.writeAttribute("is_full_screen", yes_no(is_full_screen));
    writer.writeAttribute("x", QString::number(x));
    writer.writeAttribute("y", QString::number(y));
    writer.writeAttribute("w", QString::number(w));
    writer.writeAttribute("h", QString::number(h));
}
