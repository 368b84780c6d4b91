#include "ui/expr_evaluate.h"

#include "ui/expr_parser.h"

#include <QByteArray>
#include <QDebug>

#include <cmath>

ExprEvaluate::ExprEvaluate(QObject* parent) : QObject(parent) {}

void ExprEvaluate::setExpression(const QString& text) {
    m_expression = text.isNull() ? QString(QLatin1String("")) : text;
    m_error = false;
    m_outOfRange = false;
}

bool ExprEvaluate::evaluate() {
    m_error = false;
    m_errorText.clear();
    m_value = 0.0;
    if (m_expression.isEmpty())
        return true;

    const QByteArray utf8 = m_expression.toUtf8();
    int32_t position = 0;
    const double result = expr_interpret(utf8.constData(), &position);
    if (position != 0) {
        m_error = true;
        m_errorText = QStringLiteral("Fail to evaluate at character %1").arg(position);
        qDebug().noquote() << "Expr evaluate error : " + m_expression + " ; Error : " + m_errorText;
        return false;
    }
    if (!std::isfinite(result)) {
        m_error = true;
        m_errorText = QStringLiteral("Fail to evaluate (divide by zero ?)");
        qDebug().noquote() << "Expr evaluate div zero error : " + m_expression + " ; Error : " + m_errorText;
        return false;
    }
    m_value = result;
    return true;
}

float ExprEvaluate::checkRangeFloat(float min, float max, float fallback) {
    m_outOfRange = false;
    m_rangeText.clear();
    if (m_expression.isEmpty() || m_error)
        return fallback;
    const float v = static_cast<float>(m_value);
    if (min <= v && v <= max)
        return v;
    m_outOfRange = true;
    m_rangeText = QStringLiteral("Out of range value : %1 not in range %2 -> %3")
                      .arg(QString::number(v, 'g', 6), QString::number(min, 'g', 6), QString::number(max, 'g', 6));
    return fallback;
}

int32_t ExprEvaluate::checkRangeInt(int32_t min, int32_t max, int32_t fallback) {
    m_outOfRange = false;
    m_rangeText.clear();
    if (m_expression.isEmpty() || m_error)
        return fallback;
    // Compared as a double first: converting a value beyond 32 bits is undefined and
    // would let "1e10" wrap into the range.
    const double rounded = std::round(m_value);
    if (double(min) <= rounded && rounded <= double(max))
        return static_cast<int32_t>(rounded);
    m_outOfRange = true;
    m_rangeText = QStringLiteral("Out of range value : %1 not in range %2 -> %3")
                      .arg(QString::number(rounded, 'f', 0), QString::number(min), QString::number(max));
    return fallback;
}

QString ExprEvaluate::messageText() const {
    if (m_error)
        return m_errorText;
    if (m_outOfRange)
        return m_rangeText;
    return QString();
}
