#include "ui/view_fonts.h"

#include <QDebug>
#include <QFontDatabase>
#include <QHash>
#include <QStringList>

std::optional<QFont> view_roboto_font(const QString& style, int pointSize) {
    // Family name per style; an empty name records a file that failed to register,
    // so a missing face is not read again by every label.
    static QHash<QString, QString> families;
    auto found = families.find(style);
    if (found == families.end()) {
        const int id = QFontDatabase::addApplicationFont(":/Rsc/RESSOURCES_UI/Roboto/" + style + ".ttf");
        const QStringList names = id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
        found = families.insert(style, names.isEmpty() ? QString() : names.first());
    }
    if (found->isEmpty()) {
        qDebug().noquote() << "Can't load font";
        return std::nullopt;
    }
    QFont font(*found);
    font.setPointSize(pointSize);
    font.setItalic(style.contains("Italic"));
    font.setBold(style.contains("Bold"));
    return font;
}
