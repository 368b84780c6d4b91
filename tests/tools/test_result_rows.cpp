// The result lines of the tools: the texts a user reads.
#include <gtest/gtest.h>

#include <QTest>

#include "tools/view_result_rows.h"
#include "test_prefs_support.h"
#include "base/report/report_text.h"
#include "ui/view_label.h"
#include "widget_app.h"

TEST(ResultRows, LoudnessTexts) {
    widget_app();
    struct Row {
        uint32_t kind;
        double value;
        bool silent;
        const char* text;
    } rows[] = {{0, -23.456, false, "-23.46 LUFS"}, {1, -0.5, false, "-0.50 dBTP"}, {7, 0.004, false, "0.00 dBTP"},
                {0, -70.0, true, "Silent tracks"},  {1, 0.0, true, "Silent channel"}};
    for (const Row& row : rows) {
        ViewAudioAnalyseResults line(nullptr, QRect(0, 0, 300, 25), row.kind);
        EXPECT_EQ(line.valueLabel()->text(), "-");
        line.setResults(row.value, row.silent);
        EXPECT_EQ(line.valueLabel()->text(), row.text);
    }

    // A title pushes the value right; the integrated value is 90 wide, a peak fills the row.
    ViewAudioAnalyseResults integrated(nullptr, QRect(0, 0, 300, 25), 0);
    EXPECT_TRUE(integrated.titleLabel()->isHidden());
    EXPECT_EQ(integrated.valueLabel()->geometry(), QRect(0, 0, 90, 25));
    integrated.setTitle("L");
    EXPECT_FALSE(integrated.titleLabel()->isHidden());
    EXPECT_EQ(integrated.titleLabel()->geometry(), QRect(0, 0, 40, 25));
    EXPECT_EQ(integrated.valueLabel()->geometry(), QRect(55, 0, 90, 25));
    ViewAudioAnalyseResults peak(nullptr, QRect(0, 0, 300, 25), 1);
    peak.setTitle("R");
    EXPECT_EQ(peak.valueLabel()->geometry(), QRect(55, 0, 245, 25));
}

TEST(ResultRows, BenchmarkLines) {
    widget_app();
    ViewBenchmarkLineResults header(nullptr, QRect(0, 0, 400, 30), "", 0);
    EXPECT_EQ(header.valueLabel(0)->text() + header.valueLabel(1)->text() + header.valueLabel(2)->text(),
              "AverageMinMax");
    {
        LogCapture log;
        header.setResults(1, 2, 3, 25);
        EXPECT_TRUE(log.contains("WARNING : Unknown mode benchmark result : 0"));
        EXPECT_EQ(header.valueLabel(0)->text(), "Average");
    }

    ViewBenchmarkLineResults durations(nullptr, QRect(0, 0, 400, 30), "Read", 1);
    EXPECT_EQ(durations.valueLabel(1)->text(), "-");
    durations.setResults(0.0125, 0.001, 1.5, 25);
    EXPECT_EQ(durations.valueLabel(0)->text(), "12.50 ms");
    EXPECT_EQ(durations.valueLabel(1)->text(), "1.00 ms");
    EXPECT_EQ(durations.valueLabel(2)->text(), "1500.00 ms");

    ViewBenchmarkLineResults rates(nullptr, QRect(0, 0, 400, 30), "Decode", 2);
    rates.setResults(250, 12.5, 1000, 25);
    EXPECT_EQ(rates.valueLabel(0)->text(), "250.00 Fps (x 10.00)");
    EXPECT_EQ(rates.valueLabel(1)->text(), "12.50 Fps (x 0.50)");

    // Data rates: rounded to a whole bit rate, in bits or bytes, never garbage for
    // a rate that is not a number.
    ViewBenchmarkLineResults data(nullptr, QRect(0, 0, 400, 30), "Disk", 3);
    data.setResults(1499999.6, 999.4, std::nan(""), 25);
    EXPECT_EQ(data.valueLabel(0)->text(), formatBitrate(1500000, false));
    EXPECT_EQ(data.valueLabel(1)->text(), formatBitrate(999, false));
    EXPECT_EQ(data.valueLabel(2)->text(), formatBitrate(0, false));
    data.setRateInBits(true);
    data.setResults(1499999.6, 999.4, 8e9, 25);
    EXPECT_EQ(data.valueLabel(0)->text(), "1.50 Mbits/s");
    EXPECT_EQ(data.valueLabel(1)->text(), "999 bits/s");

    // Title column, then three equal columns.
    data.setTitleWidth(100);
    EXPECT_EQ(data.titleLabel()->geometry(), QRect(0, 2, 100, 25));
    EXPECT_EQ(data.valueLabel(2)->geometry(), QRect(300, 2, 100, 25));
    data.resize(401, 30);
    EXPECT_EQ(data.valueLabel(1)->geometry(), QRect(200, 2, 100, 25));
}
