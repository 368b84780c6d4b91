// The bit-rate field of the warning preferences: the limit that reaches the store and
// the number shown in each unit.
#include <gtest/gtest.h>

#include <cstdio>

#include "test_prefs_support.h"
#include "tools/view_bitrate_set.h"
#include "ui/view_combobox2.h"
#include "ui/view_spin_box_eval.h"
#include "ui/view_text_entry.h"
#include "widget_app.h"

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
