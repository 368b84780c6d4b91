#pragma once
// The arithmetic typed into a numeric field: "1920/2", "2^10", "sqrt(2)*100",
// "fac(5)". ExprEvaluate keeps the typed text, evaluates it over doubles with the
// compiler of expr_parser.h, checks the result against the field's range and keeps a
// message for the field to show (error icon tooltip).
//
// Numbers are read without the C locale, so "1.5*2" is 3 under a comma-decimal
// locale too. Only decimal numbers are accepted: "0x10" is a syntax error.
//
// Owned by its field (QObject parent). GUI thread only (no locking). Errors come back
// as the bool of evaluate(), the flags and messageText(); nothing throws.
#include <QObject>
#include <QString>

#include <cstdint>

class ExprEvaluate : public QObject {
    Q_OBJECT
public:
    explicit ExprEvaluate(QObject* parent = nullptr);

    // Stores the text (a null text counts as empty) and clears both flags.
    void setExpression(const QString& text);

    // Evaluates the stored text. True when it is empty (value 0) or gives a finite
    // number; false with the error flag and an error text otherwise:
    // "Fail to evaluate at character %1" for a syntax error, "Fail to evaluate
    // (divide by zero ?)" for a non-finite result. The value is 0 after a failure.
    bool evaluate();

    // The value narrowed to float when inside [min, max] (edges included), else the
    // fallback with the out-of-range flag and the text
    // "Out of range value : %1 not in range %2 -> %3". An empty or failed expression
    // gives the fallback without the flag.
    float checkRangeFloat(float min, float max, float fallback);

    // The value rounded half away from zero when inside [min, max], else the
    // fallback as above. A value beyond the 32-bit range is refused with its true
    // rounded value in the message (e.g. 10000000000).
    int32_t checkRangeInt(int32_t min, int32_t max, int32_t fallback);

    // The error text when the error flag is set, else the range text when the
    // out-of-range flag is set, else empty.
    QString messageText() const;

    QString expression() const { return m_expression; }
    bool hasError() const { return m_error; }
    bool isOutOfRange() const { return m_outOfRange; }
    bool isEmpty() const { return m_expression.isEmpty(); }
    // The last result of evaluate() (0 when empty or failed).
    double value() const { return m_value; }

private:
    bool m_error = false;
    bool m_outOfRange = false;
    QString m_errorText;
    QString m_rangeText;
    QString m_expression;
    double m_value = 0.0;
};
