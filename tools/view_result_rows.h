#pragma once
// The result lines of the tool windows: one loudness result (ViewAudioAnalyseResults)
// and one line of benchmark results with three columns (ViewBenchmarkLineResults).
// They only show what their window feeds them. Owned by their Qt parent; GUI thread.
#include <QRect>
#include <QString>
#include <QWidget>
#include <cstdint>

class ViewLabel;

class ViewAudioAnalyseResults : public QWidget {
    Q_OBJECT
public:
    enum Kind : uint32_t { Kind_Integrated = 0, Kind_TruePeak = 1 };  // any non-zero is true peak

    ViewAudioAnalyseResults(QWidget* parent, const QRect& geometry, uint32_t kind);

    void setTitle(const QString& title);
    // "Silent tracks" / "Silent channel" when silent, else "%1 LUFS" / "%1 dBTP" with
    // two decimals.
    void setResults(double value, bool silent);
    void layoutLabels();

    ViewLabel* titleLabel() const { return m_titleLabel; }
    ViewLabel* valueLabel() const { return m_valueLabel; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    uint32_t m_kind;
    QString m_title;
    ViewLabel* m_titleLabel;
    ViewLabel* m_valueLabel;
};

class ViewBenchmarkLineResults : public QWidget {
    Q_OBJECT
public:
    enum Mode : uint32_t { Mode_Header = 0, Mode_Durations = 1, Mode_FrameRates = 2, Mode_DataRates = 3 };

    // A header line shows "Average", "Min" and "Max"; the others "-" until set.
    ViewBenchmarkLineResults(QWidget* parent, const QRect& geometry, const QString& title, uint32_t mode);

    void setTitleWidth(int32_t width);
    // Rates in bits per second (else bytes).
    void setRateInBits(bool in_bits) { m_rateInBits = in_bits; }
    // Durations in seconds ("%1 ms"), frame rates ("%1 Fps (x %2)" against the
    // reference rate) or data rates in bits per second; a header line refuses values
    // with a log line.
    void setResults(double average, double minimum, double maximum, double reference);
    void layoutLabels();

    ViewLabel* titleLabel() const { return m_title; }
    ViewLabel* valueLabel(int column) const { return m_values[column]; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QString valueText(double value, double reference) const;

    ViewLabel* m_title;
    ViewLabel* m_values[3];
    int32_t m_titleWidth = 100;
    uint32_t m_mode;
    bool m_rateInBits = false;
};
