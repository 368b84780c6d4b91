#include "tools/dialog_benchmark.h"

#include <QDebug>

#include <cmath>

#include "base/settings/global_settings.h"
#include "movie/file_to_play.h"
#include "tools/player_benchmark_task.h"
#include "base/report/report_text.h"
#include "tools/view_progress_task.h"
#include "tools/view_result_rows.h"
#include "ui/data_item_menu.h"
#include "ui/view_combobox2.h"
#include "ui/view_items_popup.h"
#include "ui/view_label.h"
#include "ui/view_text_scrollable.h"

namespace {

// Two decimals of the value as single precision, as the report shows it.
QString number(double value) { return QString::number(float(value), 'f', 2); }

struct RowSpec {
    const char* title;
    uint32_t kind;
    uint32_t lowestMode;  // 0 Basic, 1 Advanced, 2 Expert
};

constexpr RowSpec kRows[DialogBenchmark::Row_Count] = {
    {"", ViewBenchmarkLineResults::Mode_Header, 0},
    {"Disk read (ms)", ViewBenchmarkLineResults::Mode_Durations, 2},
    {"Disk read (Fps)", ViewBenchmarkLineResults::Mode_FrameRates, 1},
    {"Decode (ms)", ViewBenchmarkLineResults::Mode_Durations, 2},
    {"Decode (Fps)", ViewBenchmarkLineResults::Mode_FrameRates, 1},
    {"Global (ms)", ViewBenchmarkLineResults::Mode_Durations, 2},
    {"Global (Fps)", ViewBenchmarkLineResults::Mode_FrameRates, 0},
    {"Disk bitrate", ViewBenchmarkLineResults::Mode_DataRates, 0},
};

QString ms_line(const char* title, const BenchmarkStats& s) {
    return QStringLiteral("%1 (ms) : Average : %2 / Min : %3 / Max : %4")
        .arg(QLatin1String(title), number(s.average * 1000.0), number(s.minimum * 1000.0),
             number(s.maximum * 1000.0));
}

// The slowest frame gives the minimum rate, the fastest the maximum.
QString fps_line(const char* title, const BenchmarkStats& s) {
    return QStringLiteral("%1 (fps) : Average : %2 fps (x %3) / Min : %4 fps (x %5) / Max : %6 fps (x %7)")
        .arg(QLatin1String(title), number(s.fpsAtAverage), number(s.ratioAtAverage), number(s.fpsAtMaximum),
             number(s.ratioAtMaximum), number(s.fpsAtMinimum), number(s.ratioAtMinimum));
}

QString bitrate_text(double bytesPerSecond, bool bitsUnit) {
    const double bits = bytesPerSecond * 8.0;
    return formatBitrate(bits > 0 ? uint64_t(std::llround(bits)) : 0, bitsUnit);
}

}  // namespace

DialogBenchmark::DialogBenchmark(QWidget* parent, GlobalSettings* settings)
    : BaseTaskDialog(parent, QRect(0, 0, 700, 800), QStringLiteral("Benchmark"), QStringLiteral("Benchmark.txt"),
                     QStringLiteral("Save Benchmark results")),
      m_settings(settings) {
    m_traceButtons = true;
    setMinimumHeight(800);

    m_description = new ViewLabel(this, QRect(10, 45, 680, 50),
                                  QStringLiteral("Benchmark disk read and file decoding, by reading and decode each "
                                                 "frame one after the other from the current file"),
                                  ViewLabelType(5));
    followProgressRow(new ViewProgressTask(this, QRect(50, 105, 260, 120), QString()));
    m_mode = new ViewCombobox2(this, QRect(570, 10, 120, 25));
    m_mode->tag = kModeComboTag;
    m_mode->dataSource()->setItems({QStringLiteral("Basic"), QStringLiteral("Advanced"), QStringLiteral("Expert")});
    const GlobalSettings& shown = settings ? *settings : GlobalSettings::defaults();
    uint32_t stored = shown.benchmarkDialog()->ui_mode;
    if (stored > 2) {
        qDebug("Unknown player benchmark ui mode : %lu", static_cast<unsigned long>(stored));
        stored = 0;
    }
    m_mode->setCurrentIndex(int32_t(stored));
    m_report = new ViewTextScrollable(this, QRect(10, 300, 680, 400));

    const bool bits = shown.ui_bitrate_unit_bits;
    for (int i = 0; i < Row_Count; ++i) {
        auto* row = new ViewBenchmarkLineResults(this, QRect(0, 0, 300, 30), QString::fromLatin1(kRows[i].title),
                                                 kRows[i].kind);
        row->setTitleWidth(150);
        if (i > 0) row->setRateInBits(bits);
        m_rows.append(row);
    }

    connect(m_mode, &ViewCombobox2::ViewCombobox2_Clic, this, &DialogBenchmark::ViewCombobox2_Clic);
    connect(m_mode, &ViewCombobox2::ViewCombobox2_ValueChanged, this, &DialogBenchmark::ViewCombobox2_ValueChanged);
    layoutButtons();
}

void DialogBenchmark::setFile(FileToPlay* movie) { m_movie = movie; }

bool DialogBenchmark::rowShown(int row, uint32_t mode) {
    return row >= 0 && row < Row_Count && mode >= kRows[row].lowestMode;
}

uint32_t DialogBenchmark::mode() const {
    const int32_t index = m_mode ? m_mode->currentIndex() : 0;
    return index >= 0 && index <= 2 ? uint32_t(index) : 0;
}

void DialogBenchmark::layoutButtons() {
    BaseDialog::layoutButtons();
    if (!m_report) return;  // called by the base before the views exist
    const int w = width();
    const int h = height();
    m_mode->move(w - m_mode->width() - 10, 10);
    m_description->setGeometry(10, m_mode->height() + 20, w - 20, 50);
    m_progress->move(50, 105);
    int y = m_progress->y() + m_progress->height() + 5;
    const uint32_t current = mode();
    for (int i = 0; i < m_rows.size(); ++i) {
        ViewBenchmarkLineResults* row = m_rows[i];
        if (!rowShown(i, current)) {
            row->hide();
            continue;
        }
        row->setGeometry(10, y, w - 20, 30);
        row->layoutLabels();
        row->show();
        y += 30;
    }
    m_report->setGeometry(10, y + 30, w - 20, std::max(20, h - (y + 30) - 80));
    m_report->setVisible(current == 2);
}

void DialogBenchmark::ViewCombobox2_Clic(uint32_t senderTag, DataSourceSubMenu* datasource) {
    view_items_popup_open(this, m_subMenu, datasource, senderTag);
}

void DialogBenchmark::ViewCombobox2_ValueChanged(uint32_t senderTag) {
    if (senderTag == kModeComboTag)
        layoutButtons();
    else
        qDebug("Unknown combo sender : %lu", static_cast<unsigned long>(senderTag));
}

void DialogBenchmark::viewItemsSubMenuCancel(const QString&, uint32_t) { view_items_popup_close(m_subMenu); }

void DialogBenchmark::viewItemsSubMenuClose(const QString&, uint32_t senderTag, unsigned int index, unsigned int) {
    if (senderTag == kModeComboTag) {
        m_mode->setCurrentIndex(int32_t(index));
        layoutButtons();
    } else {
        qDebug("Unknown sender combo : %lu", static_cast<unsigned long>(senderTag));
        qDebug("Unknown combo sender : %lu", static_cast<unsigned long>(senderTag));
    }
    view_items_popup_close(m_subMenu);
}

PlayerBenchmarkTask* DialogBenchmark::task() const { return static_cast<PlayerBenchmarkTask*>(currentTask()); }

BaseProcessTask* DialogBenchmark::createTask() {
    if (!m_movie) {
        m_report->appendText(QStringLiteral("No input file\n\n"), false);
        return nullptr;
    }
    return new PlayerBenchmarkTask(this, m_movie.data());
}

QString DialogBenchmark::reportHeader() const {
    const QStringList header = {QStringLiteral("Filepath : %1").arg(m_movie->filePath()),
                                QStringLiteral("Resolution : %1 x %2 px").arg(m_movie->width()).arg(m_movie->height()),
                                QStringLiteral("Codec : %1").arg(m_movie->codecText())};
    return QStringLiteral("Benchmark source file\n\n") + header.join(QLatin1Char('\n'));
}

QStringList DialogBenchmark::resultLines(const BenchmarkRecord& r, bool bitsUnit) {
    return {ms_line("Disk read", r.read),
            fps_line("Disk read", r.read),
            QString(),
            ms_line("Decode", r.decode),
            fps_line("Decode", r.decode),
            QString(),
            ms_line("Global", r.global),
            fps_line("Global", r.global),
            QString(),
            QStringLiteral("Disk bitrate : Average : %1 / Min : %2 / Max : %3")
                .arg(bitrate_text(r.bitrate[3], bitsUnit), bitrate_text(r.bitrate[1], bitsUnit),
                     bitrate_text(r.bitrate[2], bitsUnit))};
}

void DialogBenchmark::writeResults() {
    const PlayerBenchmarkTask* benchmark = task();
    const BenchmarkRecord* r = benchmark ? benchmark->record() : nullptr;
    if (!r) return;
    m_report->appendText(QStringLiteral("\nResults\n"), false);
    const double fps = float(r->movieFps);
    const BenchmarkStats* times[3] = {&r->read, &r->decode, &r->global};
    for (int i = 0; i < 3; ++i) {
        const BenchmarkStats& s = *times[i];
        m_rows[Row_ReadMs + 2 * i]->setResults(s.average, s.minimum, s.maximum, 0);
        m_rows[Row_ReadFps + 2 * i]->setResults(s.fpsAtAverage, s.fpsAtMaximum, s.fpsAtMinimum, fps);
    }
    m_rows[Row_Bitrate]->setResults(r->bitrate[3] * 8.0, r->bitrate[1] * 8.0, r->bitrate[2] * 8.0, 0);
    const bool bits = (m_settings ? *m_settings : GlobalSettings::defaults()).ui_bitrate_unit_bits;
    m_report->appendText(resultLines(*r, bits).join(QLatin1Char('\n')), false);
}

void DialogBenchmark::close_dialog_ok() {
    stopTask();
    view_items_popup_close(m_subMenu);
    if (m_settings) m_settings->benchmarkDialog()->ui_mode = mode();
    BaseDialog::close_dialog_ok();
}

void DialogBenchmark::reject() {
    view_items_popup_close(m_subMenu);
    BaseTaskDialog::reject();
}
