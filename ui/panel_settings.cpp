#include "ui/panel_settings.h"

#include <QDebug>
#include <QScreen>
#include <QWindow>
#include <QXmlStreamAttributes>
#include <QXmlStreamWriter>

namespace {

QString yes_no(bool on) {
    return on ? QStringLiteral("YES") : QStringLiteral("NO");
}

}  // namespace

PanelSettings::PanelSettings(QObject* parent, const QWindow* window) : QObject(parent) {
    if (!window)
        return;
    const QRect rect = window->geometry();
    x = rect.x();
    y = rect.y();
    w = rect.width();
    h = rect.height();
    is_full_screen = window->windowStates().testFlag(Qt::WindowFullScreen);
    is_visible = window->isVisible();
    valid = true;
}

PanelSettings::PanelSettings(QObject* parent, const QXmlStreamAttributes& attributes) : QObject(parent) {
    is_visible = attributes.value(QLatin1String("is_visible")) == QLatin1String("YES");
    is_full_screen = attributes.value(QLatin1String("is_full_screen")) == QLatin1String("YES");
    struct Field {
        const char* name;
        int32_t* target;
        const char* error;
    };
    const Field fields[] = {
        {"x", &x, "Error coord x"},
        {"y", &y, "Error coord y"},
        {"w", &w, "Error width"},
        {"h", &h, "Error height"},
    };
    for (const Field& field : fields) {
        bool ok = false;
        const int value = attributes.value(QLatin1String(field.name)).toString().toInt(&ok, 10);
        if (!ok) {
            *field.target = 0;
            qDebug().noquote() << field.error;
            return;  // valid stays false
        }
        *field.target = value;
    }
    valid = true;
}

void PanelSettings::checkOnScreens(const QList<QScreen*>& screens) {
    // QRect::contains accepts a rectangle of zero height or negative width; such a
    // record would restore an invisible window.
    bool onScreen = false;
    if (valid && w > 0 && h > 0) {
        for (const QScreen* screen : screens) {
            if (screen && screen->availableGeometry().contains(geometry())) {
                onScreen = true;
                break;
            }
        }
    }
    valid = onScreen;
}

void PanelSettings::writeXml(QXmlStreamWriter& writer) const {
    writer.writeAttribute(QStringLiteral("is_visible"), yes_no(is_visible));
    writer.writeAttribute(QStringLiteral("is_full_screen"), yes_no(is_full_screen));
    writer.writeAttribute(QStringLiteral("x"), QString::number(x));
    writer.writeAttribute(QStringLiteral("y"), QString::number(y));
    writer.writeAttribute(QStringLiteral("w"), QString::number(w));
    writer.writeAttribute(QStringLiteral("h"), QString::number(h));
}
