#pragma once
// Helpers of the preference window tests: the preferences store as the file would
// hold it, to compare two stores key by key (and the log capture they use).
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "base/settings/global_settings.h"
#include "log_capture.h"

// The store as its file holds it: saved into the test's own configuration folder
// (widget_app() isolates it) and read back. Empty when the save failed.
inline QByteArray store_xml(GlobalSettings& settings) {
    if (!settings.save()) return {};
    QFile file(GlobalSettings::prefsFilePath());
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}
