// The result lines of the tools and the bit-rate field: the texts a user reads and
// the limit that reaches the preferences.
#include <gtest/gtest.h>

#include <QTest>
#include <cstdio>

#include "app/view_bitrate_set.h"
#include "app/view_result_rows.h"
#include "app_test_log.h"
#include "tools/report/report_text.h"
#include "ui/view_combobox2.h"
#include "ui/view_label.h"
#include "ui/view_spin_box_eval.h"
#include "ui/view_text_entry.h"
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

TEST(BitrateField, UnitsConvertTheShownNumberNotTheLimit) {
    widget_app();
    ViewBitrateSet field(nullptr, QRect(0, 0, 270, 25));
    EXPECT_EQ(field.bitrate(), 8e9);
    EXPECT_EQ(field.comboBox()->currentIndex(), 3);
    EXPECT_EQ(field.spinBox()->value(), 1.0f);
    EXPECT_EQ(field.comboBox()->x(), field.spinBox()->width());

    // The unit as the holder routes the combo box's change to it.
    struct Row {
        int32_t index;
        uint32_t unit;
        float shown;
    } rows[] = {{0, 0, 8000.0f}, {1, 1, 8.0f}, {2, 2, 1000.0f}, {3, 3, 1.0f}};
    for (const Row& row : rows) {
        field.comboBox()->setCurrentIndex(row.index);
        field.unitChanged();
        EXPECT_EQ(field.unit(), row.unit);
        EXPECT_EQ(field.spinBox()->value(), row.shown);
        EXPECT_EQ(field.bitrate(), 8e9);
    }

    // Typing 2 in Gbits/s sets 2e9.
    field.setUnit(1);
    field.spinBox()->entry()->setText("2");
    field.spinBox()->entry_end_edit();
    EXPECT_EQ(field.bitrate(), 2e9);
    field.setUnit(2);
    EXPECT_EQ(field.spinBox()->value(), 250.0f);

    // Resetting the number (Alt-click) restores 8e9 in the chosen unit.
    field.setUnit(0);
    field.spinBox()->ViewTextEntry_Clic(0, Qt::AltModifier);
    EXPECT_EQ(field.bitrate(), 8e9);
    EXPECT_EQ(field.spinBox()->value(), 8000.0f);
    EXPECT_EQ(field.comboBox()->currentIndex(), 0);

    field.setBitrate(1234567890.0);
    EXPECT_EQ(field.bitrate(), 1234567890.0);
    field.resetToDefault();
    EXPECT_EQ(field.unit(), 3u);
    EXPECT_EQ(field.bitrate(), 8e9);
}

TEST(BitrateField, UnknownUnitIsShownAsGigabytes) {
    widget_app();
    ViewBitrateSet field(nullptr, QRect(0, 0, 270, 25));
    LogCapture log;
    testing::internal::CaptureStdout();
    field.setUnit(7);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR : Unknown units\n");
    EXPECT_TRUE(log.contains("Unknown player high bitrate : 7"));
    EXPECT_EQ(field.unit(), 7u);
    EXPECT_EQ(field.comboBox()->currentIndex(), 3);
    EXPECT_EQ(ViewBitrateSet::unitFactor(1), 1e9);
    EXPECT_EQ(ViewBitrateSet::unitFactor(2), 8e6);
}
