#pragma once
// Saving a report where the user chooses (a modal file dialog; GUI thread only).
#include <QString>

class QWidget;

// Asks for a target file (filter "Txt files (*.txt)") and writes the text there in
// UTF-8. A cancelled dialog or a file that cannot be opened ends silently.
void saveTextToFile(QWidget* owner, const QString& text, const QString& proposed_name, const QString& folder,
                    const QString& caption);
