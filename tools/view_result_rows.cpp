#include "tools/view_result_rows.h"

#include <QDebug>
#include <cmath>

#include "base/report/report_text.h"
#include "ui/view_label.h"

namespace {
// Values are shown as the single-precision number the tools computed, two decimals.
QString two_decimals(double value) { return QString::number(double(float(value)), 'f', 2); }
}  // namespace

ViewAudioAnalyseResults::ViewAudioAnalyseResults(QWidget* parent, const QRect& geometry, uint32_t kind)
    : QWidget(parent), m_kind(kind) {
    setGeometry(geometry);
    m_titleLabel = new ViewLabel(this, QRect(0, 0, 100, 25), QString(), 4);
    m_valueLabel = new ViewLabel(this, QRect(0, 0, 100, 25), "-", 4);
    layoutLabels();
}

void ViewAudioAnalyseResults::setTitle(const QString& title) {
    m_title = title;
    m_titleLabel->setText(title);
    layoutLabels();
}

void ViewAudioAnalyseResults::setResults(double value, bool silent) {
    if (silent) m_valueLabel->setText(m_kind == Kind_Integrated ? "Silent tracks" : "Silent channel");
    else m_valueLabel->setText(QString(m_kind == Kind_Integrated ? "%1 LUFS" : "%1 dBTP").arg(two_decimals(value)));
}

void ViewAudioAnalyseResults::layoutLabels() {
    int x = 0;
    if (m_title.isEmpty()) {
        m_titleLabel->hide();
    } else {
        m_titleLabel->setGeometry(0, 0, 40, 25);
        m_titleLabel->show();
        x = 55;
    }
    m_valueLabel->setGeometry(x, 0, m_kind == Kind_Integrated ? 90 : width() - x, 25);
}

void ViewAudioAnalyseResults::resizeEvent(QResizeEvent*) { layoutLabels(); }

ViewBenchmarkLineResults::ViewBenchmarkLineResults(QWidget* parent, const QRect& geometry, const QString& title,
                                                   uint32_t mode)
    : QWidget(parent), m_mode(mode) {
    setGeometry(geometry);
    m_title = new ViewLabel(this, QRect(0, 0, 100, 25), title, 4);
    m_title->alignCenter();
    const char* header[3] = {"Average", "Min", "Max"};
    for (int i = 0; i < 3; ++i) {
        m_values[i] = new ViewLabel(this, QRect(0, 0, 100, 25), mode == Mode_Header ? header[i] : "-", 4);
        m_values[i]->alignCenter();
    }
    layoutLabels();
}

void ViewBenchmarkLineResults::setTitleWidth(int32_t width) {
    m_titleWidth = width;
    layoutLabels();
}

QString ViewBenchmarkLineResults::valueText(double value, double reference) const {
    switch (m_mode) {
        case Mode_Durations: return QString("%1 ms").arg(two_decimals(value * 1000.0));
        case Mode_FrameRates:
            return QString("%1 Fps (x %2)").arg(two_decimals(value), two_decimals(value / reference));
        default: {
            // Nearest whole bit rate; a negative or non-finite rate has none to show.
            const double rounded = std::isfinite(value) && value > 0.0 ? std::round(value) : 0.0;
            const uint64_t bits = rounded >= 18446744073709551615.0 ? UINT64_MAX : uint64_t(rounded);
            return formatBitrate(bits, m_rateInBits);
        }
    }
}

void ViewBenchmarkLineResults::setResults(double average, double minimum, double maximum, double reference) {
    if (m_mode < Mode_Durations || m_mode > Mode_DataRates) {
        qDebug("WARNING : Unknown mode benchmark result : %ld", long(m_mode));
        return;
    }
    const double values[3] = {average, minimum, maximum};
    for (int i = 0; i < 3; ++i) m_values[i]->setText(valueText(values[i], reference));
}

void ViewBenchmarkLineResults::layoutLabels() {
    const int y = (height() - 25) / 2;
    const int column = (width() - m_titleWidth) / 3;
    m_title->setGeometry(0, y, m_titleWidth, 25);
    for (int i = 0; i < 3; ++i) m_values[i]->setGeometry(m_titleWidth + i * column, y, column, 25);
}

void ViewBenchmarkLineResults::resizeEvent(QResizeEvent*) { layoutLabels(); }
