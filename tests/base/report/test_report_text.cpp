#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "base/report/report_text.h"

TEST(FormatBitrate, StepsAndUnits) {
    EXPECT_EQ(formatBitrate(999, true), "999 bits/s");
    EXPECT_EQ(formatBitrate(1000, true), "1.00 kbits/s");
    EXPECT_EQ(formatBitrate(7999, false), "999 B/s");
    EXPECT_EQ(formatBitrate(8000, false), "1.00 kB/s");
    // The step is chosen on the integer; rounding comes after.
    EXPECT_EQ(formatBitrate(999999, true), "1000.00 kbits/s");
    EXPECT_EQ(formatBitrate(1500000, true), "1.50 Mbits/s");
    EXPECT_EQ(formatBitrate(16000000000ull, false), "2.00 GB/s");
    EXPECT_EQ(formatBitrate(5000000000000ull, true), "5000.00 Gbits/s");
    EXPECT_EQ(formatBitrate(0, false), "0 B/s");
}

TEST(SaveTextToFile, ProposedPathAndWrittenBytes) {
    EXPECT_EQ(reportProposedPath("clipTestReport.txt", QString()), "clipTestReport.txt");
    EXPECT_EQ(reportProposedPath("a.txt", "/tmp/reports/"), "/tmp/reports/a.txt");
    EXPECT_EQ(reportProposedPath("a.txt", "/tmp/x/../reports"), "/tmp/reports/a.txt");

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("r\u00e9port.txt");
    const QString text = QString::fromUtf8("line 1\nnote \xc3\xa9t\xc3\xa9\n");
    ASSERT_TRUE(writeReportText(path, text));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("line 1\nnote \xc3\xa9t\xc3\xa9\n"));  // UTF-8, plain line feeds
    EXPECT_FALSE(writeReportText(dir.filePath("missing/folder/x.txt"), text));
}
