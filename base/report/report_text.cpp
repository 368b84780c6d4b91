#include "base/report/report_text.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QTextStream>

QString formatBitrate(uint64_t bits_per_second, bool in_bits) {
    QString unit = "bits";
    uint64_t value = bits_per_second;
    if (!in_bits) {
        unit = "B";
        value = bits_per_second >> 3;
    }
    if (value < 1000) return QString("%1 %2/s").arg(value).arg(unit);

    // The step is chosen on the whole number; rounding to two decimals comes after.
    const double amount = static_cast<double>(static_cast<float>(value));
    if (value < 1000000ull) return QString("%1 k%2/s").arg(QString::number(amount / 1000.0, 'f', 2), unit);
    if (value < 1000000000ull) return QString("%1 M%2/s").arg(QString::number(amount / 1e6, 'f', 2), unit);
    return QString("%1 G%2/s").arg(QString::number(amount / 1e9, 'f', 2), unit);
}

QString reportProposedPath(const QString& proposed_name, const QString& folder) {
    if (folder.isNull()) return proposed_name;
    return QDir::cleanPath(folder + QDir::separator() + proposed_name);
}

bool writeReportText(const QString& path, const QString& text) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    QTextStream stream(&file);
    stream.setEncoding(QStringConverter::Utf8);
    stream << text;
    stream.flush();
    file.close();
    return true;
}
