#include "ui/view_label.h"

#include "ui/view_fonts.h"
#include "ui/view_pending_edit.h"
#include "ui/view_widget_base.h"

#include <QDebug>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QPropertyAnimation>
#include <QTextLayout>

namespace {
struct LabelKindLook {
    const char* style;
    int pointSize;
    QColor color;  // invalid: the label stays white
};

bool kind_look(ViewLabelType kind, LabelKindLook* look) {
    switch (kind) {
    case 0: *look = {"Roboto-Regular", 10, QColor(213, 213, 213)}; return true;
    case 1: case 4: case 8: case 12: case 14: *look = {"Roboto-Regular", 10, QColor()}; return true;
    case 2: case 3: *look = {"Roboto-Italic", 11, QColor()}; return true;
    case 5: *look = {"Roboto-Italic", 10, QColor()}; return true;
    case 6: case 7: *look = {"Roboto-Italic", 11, QColor(106, 186, 253)}; return true;
    case 9: *look = {"Roboto-Regular", 20, QColor()}; return true;
    case 10: *look = {"Roboto-Bold", 12, QColor()}; return true;
    case 11: *look = {"Roboto-Regular", 13, QColor()}; return true;
    case 13: *look = {"Roboto-Regular", 11, QColor()}; return true;
    default: return false;
    }
}
// `text` in lines no wider than `width` in `font` on `device`: each paragraph is
// broken at word boundaries where it can, and inside a word that is wider than a line.
// The spaces a line ends on are left out; they would only push a centred line aside.
QStringList lines_to_width(const QString& text, const QFont& font, const QPaintDevice* device, int width) {
    QStringList lines;
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        QTextLayout layout(paragraph, font, device);
        layout.setTextOption(option);
        layout.beginLayout();
        const qsizetype before = lines.size();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            QString part = paragraph.mid(line.textStart(), line.textLength());
            while (!part.isEmpty() && part.back().isSpace()) part.chop(1);
            lines << part;
        }
        layout.endLayout();
        if (lines.size() == before) lines << QString();  // an empty paragraph is an empty line
    }
    return lines;
}
}  // namespace

ViewLabel::ViewLabel(QWidget* parent, const QRect& geometry, const QString& text, ViewLabelType kind)
    : QLabel(parent) {
    setGeometry(geometry);
    setTextColor(Qt::white);
    setText(text);
    applyKind(kind);
}

void ViewLabel::applyKind(ViewLabelType kind) {
    LabelKindLook look;
    if (!kind_look(kind, &look)) {
        qDebug().noquote() << "Label type inconnu";
        return;
    }
    if (look.color.isValid()) setTextColor(look.color);
    if (const auto font = view_roboto_font(look.style, look.pointSize)) setFont(*font);
}

void ViewLabel::setText(const QString& text) {
    m_text = text;
    showText();
}

void ViewLabel::showText() {
    if (m_wrapToWidth && !m_text.isEmpty() && width() > 0) {
        QLabel::setText(lines_to_width(m_text, font(), this, width()).join(QLatin1Char('\n')));
        return;
    }
    if (m_elideMode == Qt::ElideNone || m_text.isEmpty()) {
        QLabel::setText(m_text);
        return;
    }
    QLabel::setText(QFontMetrics(font()).elidedText(m_text, m_elideMode, width()));
}

void ViewLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    if (m_elideMode != Qt::ElideNone || m_wrapToWidth) showText();
}

void ViewLabel::alignCenter() { setAlignment(Qt::AlignCenter); }

void ViewLabel::alignRight() { setAlignment(Qt::AlignRight); }

void ViewLabel::setTextColor(const QColor& color) { view_set_palette_color(this, QPalette::WindowText, color); }

void ViewLabel::setBackgroundColor(const QColor& color) {
    setAutoFillBackground(true);
    view_set_palette_color(this, backgroundRole(), color);
}

void ViewLabel::setEnabledLook(bool enabled) {
    m_enabled = enabled;
    view_set_opacity(this, enabled ? 1.0 : 0.6);
}

void ViewLabel::setOpacity(float opacity) { view_set_opacity(this, opacity); }

void ViewLabel::animateOpacity(double from, double to, float durationMs) {
    auto* effect = view_set_opacity(this, from);
    // A child of the effect, so a newer effect ends the animation with it.
    auto* animation = new QPropertyAnimation(effect, "opacity", effect);
    animation->setKeyValueAt(0.0, from);
    animation->setKeyValueAt(1.0, to);
    animation->setDuration(static_cast<int>(durationMs));
    // Qt keeps the picture of the label it made for the last translucent frame, and an
    // effect that has reached full opacity paints that picture, at that frame's place
    // in the window, instead of the label: once a scroll moved the label, a repaint
    // left its place blank. So the fade ends on a fresh effect at the final opacity,
    // as setOpacity makes it. Queued: replacing the effect deletes the animation, which
    // is still running its finished signal; skipped when a newer effect took over.
    const QPointer<QGraphicsOpacityEffect> faded(effect);
    connect(
        animation, &QAbstractAnimation::finished, this,
        [this, faded, to] {
            if (faded && graphicsEffect() == faded) view_set_opacity(this, to);
        },
        Qt::QueuedConnection);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void ViewLabel::setElideMiddle() { m_elideMode = Qt::ElideMiddle; }

void ViewLabel::setWrapToWidth() {
    m_wrapToWidth = true;
    showText();
}

int ViewLabel::wrappedHeight(int width) const {
    if (m_text.isEmpty() || width <= 0) return 0;
    const QString lines = lines_to_width(m_text, font(), this, width).join(QLatin1Char('\n'));
    return fontMetrics().boundingRect(QRect(0, 0, width, 1 << 20), Qt::AlignLeft | Qt::AlignTop, lines).height();
}

void ViewLabel::mousePressEvent(QMouseEvent* event) {
    if (!m_enabled) return;
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) view_end_pending_edit(this);
    if (event->button() == Qt::LeftButton) {
        emit ViewLabel_Clic(tag, QGuiApplication::keyboardModifiers());
    } else if (event->button() == Qt::RightButton) {
        emit ViewLabel_RightClic(tag, event);
        emit act_mouse_right_clic();
    }
}
