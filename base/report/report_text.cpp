#include "base/report/report_text.h"

#include <QByteArray>
#include <QDebug>
#include <QDir>

#include "platform/file_replace.h"

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
    // The file dialog reads a name holding double quotes as a list of quoted names and
    // would save under the quoted part alone.
    QString name = proposed_name;
    name.remove(QLatin1Char('"'));
    if (folder.isNull()) return name;
    return QDir::cleanPath(folder + QDir::separator() + name);
}

bool writeReportText(const QString& path, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    const platform::FileReplaceResult written =
        platform::replace_file_utf8(path.toUtf8().constData(), bytes.constData(), std::size_t(bytes.size()));
    if (!written) {
        qDebug().noquote() << "Fail to write report file : " + path + " (" + QString::fromStdString(written.message) +
                                  ")";
        return false;
    }
    return true;
}
