#include "ui/view_file_link.h"

#include "platform/desktop/reveal_file.h"
#include "ui/view_label.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QUrl>

namespace {

std::function<bool(const QUrl&)>& open_url_hook() {
    static std::function<bool(const QUrl&)> hook;
    return hook;
}

ViewLabelType label_kind(uint32_t mode) {
    switch (mode) {
    case 1:
    case 2:
    case 4:
        return 7;
    case 3:
        return 1;
    default:
        return 6;
    }
}

}  // namespace

void ViewFileLink::setOpenUrlHook(std::function<bool(const QUrl&)> hook) {
    open_url_hook() = std::move(hook);
}

ViewFileLink::ViewFileLink(QWidget* parent, const QRect& geometry, uint32_t mode) : QWidget(parent), m_mode(mode) {
    setGeometry(geometry);
    m_text = new ViewLabel(this, QRect(0, 0, geometry.width(), geometry.height()), QString(), label_kind(mode));
    m_text->setElideMiddle();
    // A cursor of the widget's own: it cannot outlive the widget or stick to the
    // whole application when the link is hidden under the pointer.
    setCursor(Qt::PointingHandCursor);
    connect(m_text, &ViewLabel::ViewLabel_Clic, this, &ViewFileLink::act_clic);
}

void ViewFileLink::refreshText() {
    if (m_multiple)
        m_text->setText(QStringLiteral("<multiple values>"));
    else if (!m_displayText.isEmpty())
        m_text->setText(m_displayText);
    else if (m_mode == 0)
        m_text->setText(m_path.isEmpty() ? QString() : QFileInfo(m_path).fileName());
    else
        m_text->setText(m_path);
}

void ViewFileLink::setPath(const QString& path) {
    m_path = path;
    refreshText();
}

void ViewFileLink::setDisplayText(const QString& text) {
    m_displayText = text;
    refreshText();
}

void ViewFileLink::setMultipleValues() {
    m_multiple = true;
    refreshText();
}

void ViewFileLink::clearMultiple() {
    m_multiple = false;
    refreshText();
}

void ViewFileLink::alignCenter() {
    m_text->alignCenter();
}

void ViewFileLink::setEnabledLook(bool enabled) {
    m_text->setEnabledLook(enabled);
}

void ViewFileLink::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_text->setGeometry(0, 0, width(), height());
}

void ViewFileLink::act_clic() {
    if (m_multiple) return;
    if (m_mode == 5) {
        if (m_dialog) m_dialog->deleteLater();
        auto* dialog = new QFileDialog(this, QString(), QString(), QString());
        dialog->setSupportedSchemes({QStringLiteral("file")});
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        if (!m_path.isEmpty()) {
            const QFileInfo info(m_path);
            dialog->setDirectory(info.absolutePath());
            dialog->selectFile(info.fileName());
        }
        connect(dialog, &QFileDialog::finished, this, &ViewFileLink::close_dialog_set_target_file);
        dialog->setModal(true);
        m_dialog = dialog;
        dialog->show();
        return;
    }
    if (m_mode == 3 || m_path.isEmpty()) return;
    if (m_mode == 4) {
        const QUrl url(m_path, QUrl::TolerantMode);
        if (open_url_hook())
            open_url_hook()(url);
        else
            QDesktopServices::openUrl(url);
        return;
    }
    revealInFileManager(QDir::toNativeSeparators(m_path));
}

void ViewFileLink::close_dialog_set_target_file(int result) {
    QFileDialog* dialog = m_dialog;
    m_dialog = nullptr;
    if (dialog == nullptr) return;
    const QStringList chosen = dialog->selectedFiles();
    dialog->deleteLater();
    if (result != QDialog::Accepted || chosen.isEmpty()) return;
    const QString newPath = chosen.first();
    if (newPath == m_path) {
        qDebug("Choose file name idem");
        return;
    }
    m_path = newPath;
    refreshText();
    emit ViewFileLink_ChooseNewPath(tag, newPath);
}
