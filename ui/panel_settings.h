#pragma once
// PanelSettings: the saved state of one top-level window (visibility, full screen,
// geometry) as the preferences file keeps it inside a "panel" element; the QObject
// face of the preferences store's PanelRecord (fields x, y, w, h, is_visible,
// is_full_screen, valid; geometry(); writeXml()). A snapshot: captured from a window
// when the preferences are saved, or read from the file at start and then checked
// against the screens present; it never follows the window.
//
// `valid` is false when the record could not be read, or after checkOnScreens() when
// its rectangle is empty or lies on no screen; the owner then does not restore the
// window from it. Owned by its parent; GUI thread.
#include "app/settings/panel_record.h"

#include <QList>
#include <QObject>

class PanelSettings : public QObject, public PanelRecord {
    Q_OBJECT
public:
    // Captures the window's geometry, full-screen bit and visibility; valid. A null
    // window gives an invalid empty record.
    PanelSettings(QObject* parent, const QWindow* window);
    // Reads the attributes of a "panel" element: "is_visible" and "is_full_screen"
    // are true when exactly "YES"; then x, y, w, h in that order as decimal integers.
    // The first missing or non-numeric one stays 0, logs "Error coord x",
    // "Error coord y", "Error width" or "Error height", stops the reading and leaves
    // the record invalid.
    PanelSettings(QObject* parent, const QXmlStreamAttributes& attributes);

    // Keeps the record valid only when it was valid, its size is positive and the
    // rectangle lies inside (edges included) the available geometry of at least one
    // of `screens`. A record that failed to read never becomes valid again.
    void checkOnScreens(const QList<QScreen*>& screens);

private:
    // One name for the screen check: checkOnScreens().
    using PanelRecord::validateOnScreens;
};
