#pragma once
// Saving a report where the user chooses (a modal file dialog; GUI thread only).
#include <QString>

#include <functional>

class QWidget;

// How the target file is asked for: (owner, caption, proposed path, filter) -> the
// chosen path, empty when the user cancelled. A native save dialog by default; tests
// install their own so no modal loop runs.
using SaveFileChooser =
    std::function<QString(QWidget* owner, const QString& caption, const QString& proposed_path, const QString& filter)>;
// Installs `chooser` (an empty one restores the save dialog); returns the previous one.
SaveFileChooser setSaveFileChooser(SaveFileChooser chooser);

enum class SaveTextResult { Saved, Cancelled, Failed };

// Asks for a target file (filter "Txt files (*.txt)"; the proposed name loses any
// double quote) and writes the text there in UTF-8 (writeReportText: an existing file
// is replaced only by the complete text). A cancelled dialog writes nothing; Failed
// means the file could not be written, which the caller reports. `chosen_path`, when
// given, receives the file the user chose (empty when cancelled).
SaveTextResult saveTextToFile(QWidget* owner, const QString& text, const QString& proposed_name,
                              const QString& folder, const QString& caption, QString* chosen_path = nullptr);
