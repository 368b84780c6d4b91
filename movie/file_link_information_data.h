#pragma once
// One line of the information view that links to a file: its text and where it is drawn.
#include <QObject>
#include <QRect>
#include <QString>

class FileLinkInformationData : public QObject {
    Q_OBJECT
public:
    FileLinkInformationData(QObject* parent, const QRect& rect = QRect(0, 0, 1, 1), const QString& text = QString());

    QRect rect;
    QString text;
};
