#include "ui/dialog_about.h"

#include "ui/view_file_link.h"
#include "ui/view_label.h"
#include "ui/view_simple_image.h"
#include "ui/view_widget_base.h"

BaseAboutSplash::BaseAboutSplash(QWidget* parent, const QString& imagePath) : QWidget(parent) {
    setMinimumSize(500, 500);
    setMaximumSize(500, 500);
    resize(500, 500);
    view_set_palette_color(this, QPalette::Window, Qt::black);
    setAutoFillBackground(true);
    m_image = new View_SimpleImage(this, QRect(100, 30, 300, 300), imagePath);
    m_title = new ViewLabel(this, QRect(0, 340, 500, 40), QStringLiteral("Mon Nom d'application"), 9);
    m_title->alignCenter();
    m_version = new ViewLabel(this, QRect(0, 390, 500, 25), QStringLiteral("Ma version ici"), 1);
    m_version->alignCenter();
    // No web page of its own until the owner gives one.
    m_link = new ViewFileLink(this, QRect(0, 425, 500, 25), 4);
    m_link->alignCenter();
    m_notice = new ViewLabel(this, QRect(0, 460, 500, 25),
                             QStringLiteral("HAP movie player, Qt and Vulkan"), 1);
    m_notice->alignCenter();
}

void BaseAboutSplash::setTitle(const QString& title) {
    m_title->setText(title);
}

void BaseAboutSplash::setVersion(const QString& version) {
    m_version->setText(version);
}

void BaseAboutSplash::setLink(const QString& address) {
    m_link->setPath(address);
}

DialogAbout::DialogAbout(QWidget* parent, const QString& title, const QString& imagePath)
    : BaseDialogWidget(parent, title, 500, 500) {
    m_splash = new BaseAboutSplash(this, imagePath);
    resize(int(defaultWidth()), int(defaultHeight()));
}
