#include "base/settings/settings_dialog_benchmark.h"

#include <QXmlStreamAttributes>
#include <QXmlStreamWriter>
#include <cstdio>

bool SettingsDialogBenchmark::readXml(const QXmlStreamAttributes& attributes) {
    const auto key = attributes.value("k");
    const auto text = attributes.value("v");
    if (key.isEmpty() || text.isEmpty() || key != QLatin1String("ui_mode")) return false;
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok, 10);
    if (!ok || value == 0) {
        ui_mode = UiMode_Basic;
    } else if (value == UiMode_Advanced || value == UiMode_Expert) {
        ui_mode = uint32_t(value);
    } else {
        std::printf("Invalid player benchmark ui mode mode : %lld\n", value);
        std::fflush(stdout);
        ui_mode = UiMode_Basic;
    }
    return true;
}

void SettingsDialogBenchmark::writeXml(QXmlStreamWriter& writer) const {
    writer.writeEmptyElement("dialog_params");
    writer.writeAttribute("d", "benchmark_dialog");
    writer.writeAttribute("k", "ui_mode");
    writer.writeAttribute("v", QString::number(ui_mode));
}
