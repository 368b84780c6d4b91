#include "tools/report_save.h"

#include <QDebug>
#include <QFileDialog>

#include <utility>

#include "base/report/report_text.h"

namespace {

SaveFileChooser& chooser() {
    static SaveFileChooser current;
    return current;
}

}  // namespace

SaveFileChooser setSaveFileChooser(SaveFileChooser next) { return std::exchange(chooser(), std::move(next)); }

SaveTextResult saveTextToFile(QWidget* owner, const QString& text, const QString& proposed_name,
                              const QString& folder, const QString& caption, QString* chosen_path) {
    const QString proposed = reportProposedPath(proposed_name, folder);
    const QString filter = QStringLiteral("Txt files (*.txt)");
    const QString target = chooser() ? chooser()(owner, caption, proposed, filter)
                                     : QFileDialog::getSaveFileName(owner, caption, proposed, filter);
    if (chosen_path) *chosen_path = target;
    if (target.isEmpty()) return SaveTextResult::Cancelled;
    qDebug().noquote() << "Target file " + target;
    return writeReportText(target, text) ? SaveTextResult::Saved : SaveTextResult::Failed;
}
