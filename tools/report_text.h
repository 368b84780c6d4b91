#pragma once
// Texts of the tools' reports: data rates, and saving a report where the user chooses.
#include <QString>
#include <cstdint>

class QWidget;

// "999 bits/s", "1.50 Mbits/s", "125 B/s", "2.00 GB/s": steps of 1000 up to G.
// `in_bits` false gives bytes (the rate divided by 8, truncated).
QString formatBitrate(uint64_t bits_per_second, bool in_bits);

// Asks for a target file (filter "Txt files (*.txt)") and writes the text there in
// UTF-8. A cancelled dialog or a file that cannot be opened ends silently.
void saveTextToFile(QWidget* owner, const QString& text, const QString& proposed_name, const QString& folder,
                    const QString& caption);

// The path the save dialog proposes: the bare name without a folder, else the
// cleaned folder/name.
QString reportProposedPath(const QString& proposed_name, const QString& folder);
// Writes the whole text (UTF-8, line feeds as they are) to `path`; false when the
// file cannot be opened.
bool writeReportText(const QString& path, const QString& text);
