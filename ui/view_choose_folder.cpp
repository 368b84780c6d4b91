#include "ui/view_choose_folder.h"

#include "ui/view_btn_text.h"
#include "ui/view_file_link.h"
#include "ui/view_label.h"

#include <QFileDialog>

ViewChooseFolder::ViewChooseFolder(QWidget* parent, const QRect& geometry, const QString& title) : QWidget(parent) {
    setGeometry(geometry);
    m_title = new ViewLabel(this, QRect(0, 0, 50, 20), title, 1);
    m_button = new ViewBtnText(this, QRect(0, 0, 60, 25), QStringLiteral("Choose"));
    m_button->setDefaultColors();
    m_link = new ViewFileLink(this, QRect(0, 0, 50, 20), 2);
    askFolder = [](QWidget* owner, const QString& caption, const QString& start) {
        return QFileDialog::getExistingDirectory(owner, caption, start,
                                                 QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    };
    connect(m_button, &ViewBtnText::ViewBtnText_Clic, this, &ViewChooseFolder::act_btn_choose);
    layoutChildren();
}

void ViewChooseFolder::layoutChildren() {
    const int w = width();
    const int h = height();
    const int bw = m_button->width();
    const int bh = m_button->height();
    m_button->setGeometry(w - bw, 0, bw, bh);
    m_title->setGeometry(0, 0, w - bw - 5, 20);
    m_link->setGeometry(0, h - bh, w, 20);
}

void ViewChooseFolder::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutChildren();
}

void ViewChooseFolder::setFolder(const QString& folder) {
    m_multiple = false;
    m_folder = folder;
    m_link->clearMultiple();
    m_link->setPath(folder);
}

void ViewChooseFolder::setEnabledState(bool enabled) {
    if (enabled == m_enabled) return;
    m_enabled = enabled;
    m_title->setEnabledLook(enabled);
    m_button->setEnabledLook(enabled);
    m_link->setEnabledLook(enabled);
}

void ViewChooseFolder::act_btn_choose() {
    const QString start = m_folder.isEmpty() ? QStringLiteral(".") : m_folder;
    const QString chosen = askFolder ? askFolder(this, tr("Choose folder"), start) : QString();
    if (chosen.isEmpty()) return;
    setFolder(chosen);
    emit ViewChooseFolder_FolderChange(tag);
}
