#pragma once
// The saved state of one top-level window (main window, audio meters, audio mapping)
// as the preferences file keeps it in a "panel" element: visibility, full screen and
// geometry, with a flag telling whether the geometry may be restored. Plain value,
// Qt Core and Gui only; GUI thread (it reads windows and screens).
#include <QList>
#include <QRect>
#include <cstdint>

class QScreen;
class QWindow;
class QXmlStreamAttributes;
class QXmlStreamWriter;

struct PanelSettings {
    int32_t x = 0;
    int32_t y = 0;
    int32_t w = 0;
    int32_t h = 0;
    bool is_visible = false;
    bool is_full_screen = false;
    // True after a clean capture or read, and while the geometry lies on a screen.
    bool valid = false;

    // The window's geometry, full-screen bit and visibility; always valid.
    static PanelSettings fromWindow(const QWindow& window);
    // The attributes of one "panel" element. x, y, w, h are read in that order; the
    // first that is missing or not a decimal integer logs "Error coord x",
    // "Error coord y", "Error width" or "Error height", stays 0 with the ones after
    // it, and leaves the record invalid.
    static PanelSettings fromAttributes(const QXmlStreamAttributes& attributes);

    QRect geometry() const { return QRect(x, y, w, h); }
    // valid = it was valid, its size is not empty, and the rectangle lies inside
    // (edges included) the available geometry of at least one of the screens.
    // Nothing is moved.
    void checkOnScreens(const QList<QScreen*>& screens);
    // is_visible, is_full_screen, x, y, w, h on the element the caller has opened.
    void writeXml(QXmlStreamWriter& writer) const;
};
