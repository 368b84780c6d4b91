#include "tools/report_save.h"

#include <QDebug>
#include <QFileDialog>

#include "tools/report/report_text.h"

void saveTextToFile(QWidget* owner, const QString& text, const QString& proposed_name, const QString& folder,
                    const QString& caption) {
    const QString target = QFileDialog::getSaveFileName(owner, caption, reportProposedPath(proposed_name, folder),
                                                        "Txt files (*.txt)");
    if (target.isEmpty()) return;
    qDebug() << "Target file " << target;
    writeReportText(target, text);
}
