#pragma once
// The benchmark window's saved mode, kept in the preferences file as
// <dialog_params d="benchmark_dialog" k="ui_mode" v="N"/>. Owned by the store
// (child object); GUI thread.
#include <QObject>
#include <cstdint>

class QXmlStreamAttributes;
class QXmlStreamWriter;

class SettingsDialogBenchmark : public QObject {
    Q_OBJECT
public:
    enum UiMode : uint32_t { UiMode_Basic = 0, UiMode_Advanced = 1, UiMode_Expert = 2 };

    explicit SettingsDialogBenchmark(QObject* parent = nullptr) : QObject(parent) {}

    // True when k is "ui_mode" with a non-empty v: 1 and 2 are taken, 0 or text that
    // is no number give 0, any other number prints "Invalid player benchmark ui mode
    // mode : %d" and gives 0. Another or a missing k: false, nothing changes.
    bool readXml(const QXmlStreamAttributes& attributes);
    void writeXml(QXmlStreamWriter& writer) const;

    uint32_t ui_mode = UiMode_Basic;
};
