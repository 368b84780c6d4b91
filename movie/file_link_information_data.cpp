#include "movie/file_link_information_data.h"

FileLinkInformationData::FileLinkInformationData(QObject* parent, const QRect& rect, const QString& text)
    : QObject(parent), rect(rect), text(text) {}
