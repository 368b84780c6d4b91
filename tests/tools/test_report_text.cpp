#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "tools/report/panel_audio_meter_track_descriptor.h"
#include "tools/report/report_text.h"

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

TEST(PanelAudioMeterTrackDescriptor, DefaultsCopyAndStates) {
    PanelAudioMeterTrackDescriptor a;
    EXPECT_TRUE(a.isEnabled());
    EXPECT_FALSE(a.isMuted());
    a.muted = 1;
    a.level = 0.5f;
    a.peak = 0.75f;
    a.holdCounter = 12;
    PanelAudioMeterTrackDescriptor b(nullptr, &a);
    EXPECT_TRUE(b.isMuted());
    EXPECT_EQ(b.level, 0.5f);
    EXPECT_EQ(b.peak, 0.75f);
    EXPECT_EQ(b.holdCounter, 12u);
    b.muted = 0;
    b.enabled = 0;
    EXPECT_TRUE(b.isMuted());  // a disabled channel is silent whatever its button says
    EXPECT_FALSE(b.isEnabled());
}
