#include "app/view_info_error.h"

#include "ui/view_label.h"
#include "ui/view_simple_image.h"

#include <algorithm>

namespace {
// The title's band above the message, the margin below it, and the side margins of a
// message in lines (a line of a path broken inside would otherwise touch the edges).
constexpr int kTitleHeight = 40;
constexpr int kBelowMessage = 15;
constexpr int kSideMargin = 10;
}  // namespace

ViewInfoError::ViewInfoError(QWidget* parent, const QRect& geometry) : QWidget(parent), m_usual(geometry.size()) {
    setGeometry(geometry);
    const int w = geometry.width();
    m_title = new ViewLabel(this, QRect(0, 0, w, kTitleHeight), "Info", 1);
    m_title->alignCenter();
    m_message = new ViewLabel(this, QRect(0, kTitleHeight, w, geometry.height() - kTitleHeight - kBelowMessage),
                              QString(), 1);
    m_message->alignCenter();
    m_message->setWrapToWidth();
    m_errorIcon = new View_SimpleImage(this, QRect(10, 10, 32, 32), ":/Rsc/RESSOURCES_UI/STATE_ENDED_ERROR.png");
    m_warningIcon = new View_SimpleImage(this, QRect(10, 10, 32, 32), ":/Rsc/RESSOURCES_UI/STATE_ENDED_WARNING.png");
    m_errorIcon->hide();
    m_warningIcon->hide();
}

void ViewInfoError::setTexts(const QString& title, const QString& message) {
    m_title->setText(title);
    m_message->setText(message);
    layoutBox();
}

void ViewInfoError::setArea(const QSize& area) {
    if (area == m_area) return;
    m_area = area;
    layoutBox();
}

void ViewInfoError::placeMessage(const QRect& geometry, Qt::Alignment alignment) {
    m_message->setGeometry(geometry);
    m_message->setAlignment(alignment);
    // The box is never shown, so no resize event reaches the label: its lines are
    // broken again to the new width here.
    m_message->setText(m_message->text());
}

void ViewInfoError::layoutBox() {
    const int around = kTitleHeight + kBelowMessage;
    const bool limited = m_area.isValid();
    // Only a video area narrower than the usual box (the smallest window) narrows it.
    int w = limited ? std::max(1, std::min(m_usual.width(), m_area.width())) : m_usual.width();
    int h = m_usual.height();
    // A message on one line across the box keeps the layout it always had.
    placeMessage(QRect(0, kTitleHeight, w, h - around), Qt::AlignCenter);
    if (!m_message->shownText().contains(QLatin1Char('\n'))) {
        resize(w, h);
        m_title->setGeometry(0, 0, w, kTitleHeight);
        return;
    }
    int text = m_message->wrappedHeight(w - 2 * kSideMargin);
    h = std::max(h, text + around);
    if (limited && h > m_area.height() && m_area.width() > w) {
        w = m_area.width();
        text = m_message->wrappedHeight(w - 2 * kSideMargin);
        h = std::max(m_usual.height(), text + around);
    }
    QRect lines(kSideMargin, kTitleHeight, w - 2 * kSideMargin, h - around);
    Qt::Alignment alignment = Qt::AlignCenter;
    if (limited && h > m_area.height()) {
        // Too long even for the whole area: its beginning, in as many whole lines as
        // the area holds, the rest cut below the last.
        h = std::max(m_usual.height(), m_area.height());
        const int spacing = std::max(1, m_message->fontMetrics().lineSpacing());
        lines.setHeight(std::max(spacing, (h - around) / spacing * spacing));
        alignment = Qt::AlignHCenter | Qt::AlignTop;
    }
    resize(w, h);
    m_title->setGeometry(0, 0, w, kTitleHeight);
    placeMessage(lines, alignment);
}

void ViewInfoError::setStateInfo() {
    m_errorIcon->hide();
    m_warningIcon->hide();
}

void ViewInfoError::setStateError() {
    m_errorIcon->show();
    m_warningIcon->hide();
}

void ViewInfoError::setStateWarning() {
    m_errorIcon->hide();
    m_warningIcon->show();
}
