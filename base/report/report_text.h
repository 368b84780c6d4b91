#pragma once
// Texts of the tools' reports: data rates, and writing a report to a file. Qt Core only:
// the opened movie uses the rate texts. Any thread may call.
#include <QString>
#include <cstdint>

// "999 bits/s", "1.50 Mbits/s", "125 B/s", "2.00 GB/s": steps of 1000 up to G.
// `in_bits` false gives bytes (the rate divided by 8, truncated).
QString formatBitrate(uint64_t bits_per_second, bool in_bits);

// The path the save dialog proposes: the bare name without a folder, else the
// cleaned folder/name. Double quotes are left out of the name: the file dialog would
// read them as a list of names.
QString reportProposedPath(const QString& proposed_name, const QString& folder);
// Writes the whole text (UTF-8, line feeds as they are) to `path`, through a temporary
// file beside it that replaces it only once complete (platform/file_replace.h): false,
// with a log line naming the reason, when anything failed; an existing file then keeps
// its bytes, and a path leading to something other than a regular file is refused.
bool writeReportText(const QString& path, const QString& text);
