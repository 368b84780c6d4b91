// Every caption of the tool windows and the preference pages fits its fixed box in
// the font the window really draws it with (the bundled Roboto): the texts of labels,
// buttons and switches as shown, and every entry a combo box can show. A caption that
// does not fit is cut off on screen ("Parameters :" read "Parameters .").
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QTemporaryDir>
#include <memory>
#include <utility>
#include <vector>

#include "base/settings/global_settings.h"
#include "audio/all_audio_src_tracks.h"
#include "audio/audio_src_track.h"
#include "tests/tools/audio_panel_test_support.h"
#include "tools/dialog_analyse.h"
#include "tools/dialog_audio_analyse.h"
#include "tools/dialog_benchmark.h"
#include "tools/dialog_hardware_information.h"
#include "tools/dialog_prefs.h"
#include "tools/dialog_snapshot_params.h"
#include "tools/panel_audio_mapping.h"
#include "tools/panel_audio_meter.h"
#include "ui/data_item_menu.h"
#include "ui/view_combobox2.h"
#include "ui/view_label.h"
#include "widget_app.h"

namespace {

// What of `text` falls outside `label`'s box when the label draws it: empty when
// every pixel of ink is inside.
QString misfit(const ViewLabel* label, const QString& text) {
    const QFontInfo info(label->font());
    if (info.family() != QStringLiteral("Roboto"))
        return QStringLiteral("drawn in %1, not the bundled Roboto").arg(info.family());
    const QFontMetrics metrics = label->fontMetrics();
    const QRect box = label->contentsRect();
    const int flags = int(label->alignment()) | (label->wordWrap() ? int(Qt::TextWordWrap) : 0);
    // Where the label's painter lays the text out: lines placed by the alignment.
    const QRect lines = metrics.boundingRect(box, flags, text);
    QRect ink = lines;
    if (!label->wordWrap()) {
        // One line: its ink around the baseline (an italic face reaches past its advance).
        ink = metrics.tightBoundingRect(text).translated(lines.left(), lines.top() + metrics.ascent());
    }
    if (box.contains(ink)) return {};
    return QStringLiteral("drawn at (%1, %2) %3 x %4 in a %5 x %6 box")
        .arg(ink.x())
        .arg(ink.y())
        .arg(ink.width())
        .arg(ink.height())
        .arg(box.width())
        .arg(box.height());
}

// Every caption of the shown window that does not fit, one line each; `measured`
// counts the captions looked at.
QStringList misfits(QWidget* window, const QString& name, int* measured) {
    QStringList lines;
    const auto check = [&](const ViewLabel* label, const QString& text) {
        ++*measured;
        const QString why = misfit(label, text);
        if (!why.isEmpty()) lines << QStringLiteral("%1: \"%2\" %3").arg(name, text, why);
    };
    for (const ViewLabel* label : window->findChildren<ViewLabel*>()) {
        if (!label->isVisibleTo(window) || label->text().isEmpty()) continue;
        // A label made to lose its middle when too long is not clipped.
        if (label->elideMode() != Qt::ElideNone) continue;
        check(label, label->text());
    }
    for (const ViewCombobox2* combo : window->findChildren<ViewCombobox2*>()) {
        if (!combo->isVisibleTo(window)) continue;
        for (uint32_t i = 0; i < combo->dataSource()->count(); ++i)
            check(combo->label(), combo->dataSource()->itemText(int32_t(i)));
    }
    return lines;
}

}  // namespace

TEST(Captions, EveryToolWindowAndPreferencePageCaptionFitsItsBox) {
    widget_app();
    GlobalSettings settings;
    settings.benchmarkDialog()->ui_mode = 2;  // Expert: every result row shows
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(write_silent_wav(dir.filePath("music.wav"), 2));
    AllAudioSrcTracks tracks;
    tracks.addTrack(new AudioSrcTrack(dir.filePath("music.wav")));
    {
        auto prefs = std::make_unique<DialogPrefs>(nullptr);
        prefs->setSettings(&settings);
        auto mapping = std::make_unique<PanelAudioMapping>(nullptr);
        mapping->rebuildTrackViews(&tracks);  // a track row with its channel names
        std::vector<std::pair<std::unique_ptr<QWidget>, QString>> windows;
        windows.emplace_back(std::make_unique<DialogAnalyse>(nullptr), "File test");
        windows.emplace_back(std::make_unique<DialogAudioAnalyse>(nullptr, &settings), "Loudness");
        windows.emplace_back(std::make_unique<DialogBenchmark>(nullptr, &settings), "Benchmark");
        windows.emplace_back(std::make_unique<DialogHardwareInformation>(nullptr), "Hardware information");
        windows.emplace_back(std::make_unique<DialogSnapshotParams>(nullptr, &settings), "Snapshot parameters");
        windows.emplace_back(std::move(prefs), "Preferences");
        windows.emplace_back(std::move(mapping), "Audio mapping");
        windows.emplace_back(std::make_unique<PanelAudioMeter>(nullptr, nullptr), "Audio meters");
        QStringList all;
        for (const auto& [window, name] : windows) {
            window->show();
            int measured = 0;
            all << misfits(window.get(), name, &measured);
            EXPECT_GT(measured, 0) << name.toStdString();
        }
        EXPECT_TRUE(all.isEmpty()) << all.join(QLatin1Char('\n')).toStdString();
    }
    tracks.deleteAll();
}
