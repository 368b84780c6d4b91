#include "ui/base_dialog.h"

#include "ui/view_btn_text.h"
#include "ui/view_label.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace {

constexpr int kButtonBar = 45;

}  // namespace

BaseDialog::BaseDialog(QWidget* parent, const QRect& geometry, const QString& title)
    : DialogFrame(parent, Qt::WindowFlags()) {
    setGeometry(geometry);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    setWindowTitle(title);
    centerOnScreen();
}

ViewBtnText* BaseDialog::addAbortButton(const QString& text) {
    ViewBtnText* button = addRightButton(text, 0);
    connect(button, &ViewBtnText::ViewBtnText_Clic, this, &BaseDialog::close_dialog_abort);
    return button;
}

ViewBtnText* BaseDialog::addTaggedButton(const QString& text, uint32_t tag) {
    ViewBtnText* button = addRightButton(text, tag);
    connect(button, &ViewBtnText::ViewBtnText_Clic, this, &BaseDialog::ViewBtnText_Clic);
    return button;
}

ViewBtnText* BaseDialog::addBottomLeftButton(const QString& text, uint32_t tag) {
    ViewBtnText* button = createButton(text);
    button->tag = tag;
    m_leftButtons.append(button);
    connect(button, &ViewBtnText::ViewBtnText_Clic, this, &BaseDialog::ViewBtnText_Clic);
    return button;
}

int32_t BaseDialog::contentHeight() const {
    if (!rightButtons().isEmpty() || !m_leftButtons.isEmpty()) return height() - kButtonBar;
    return height();
}

void BaseDialog::setFixedHeightKeepWidth(uint32_t h) {
    setGeometry(0, 0, width(), int(h));
    setMinimumHeight(int(h));
    setMaximumHeight(int(h));
}

void BaseDialog::centerOnScreen() {
    const QScreen* s = screen();
    if (s == nullptr) return;
    QRect r = geometry();
    r.moveCenter(s->availableGeometry().center());
    move(r.topLeft());
}

void BaseDialog::growToShowText(const ViewLabel* label, int around) {
    const int margins = width() - label->width();
    const int least = height();
    const QScreen* s = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    // The window's frame (its title bar above all) must fit on the screen too, or the
    // buttons at the bottom would be pushed off it; it is not known before the first
    // showing, so room is left for a generous one.
    const QSize room = s != nullptr ? s->availableGeometry().size() - QSize(40, 80) : QSize();
    int w = width();
    int h = std::max(least, label->wrappedHeight(w - margins) + around);
    if (room.isValid() && h > room.height() && room.width() > w) {
        w = room.width();
        h = std::max(least, label->wrappedHeight(w - margins) + around);
    }
    if (room.isValid()) h = std::max(least, std::min(h, room.height()));
    setMaximumHeight(std::max(h, maximumHeight()));  // room for the new fixed height
    resize(w, height());
    setFixedHeightKeepWidth(uint32_t(h));
    centerOnScreen();
}

void BaseDialog::showDialog(bool fitToScreen) {
    if (fitToScreen) {
        if (const QScreen* primary = QGuiApplication::primaryScreen())
            setGeometry(dialog_fit_to_area(size(), primary->availableGeometry()));
    }
    setWindowModality(Qt::WindowModal);
    show();
    linkScreenChanged();
}

void BaseDialog::layoutButtons() {
    const int h = height();
    const int limit = placeRightButtons() - 10;
    int x = 10;
    for (ViewBtnText* button : m_leftButtons) {
        button->move(x, h - button->height() - 10);
        button->setVisible(x + button->width() < limit);
        x += button->width() + 5;
    }
}

void BaseDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    layoutButtons();
}

void BaseDialog::act_btn_bottom_left_btn(uint32_t) {}

void BaseDialog::_set_width_btn(ViewBtnText* tmpBtn, int nWidth) {
    if (tmpBtn == nullptr) return;
    tmpBtn->setGeometry(tmpBtn->x(), tmpBtn->y(), nWidth, tmpBtn->height());
}

void BaseDialog::ViewBtnText_Clic(uint32_t tag, Qt::KeyboardModifiers) {
    act_btn_bottom_left_btn(tag);
}
