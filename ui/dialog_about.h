#pragma once
// The about window: BaseAboutSplash (500 x 500: picture, application title,
// version, web link, notice) inside a 500 x 500 BaseDialogWidget. The owner fills
// the texts. Owned by its creator. GUI thread only.
#include "ui/base_dialog_widget.h"

class View_SimpleImage;
class ViewFileLink;
class ViewLabel;

class BaseAboutSplash : public QWidget {
    Q_OBJECT
public:
    BaseAboutSplash(QWidget* parent, const QString& imagePath);

    void setTitle(const QString& title);
    void setVersion(const QString& version);
    // The web address shown and opened by the link.
    void setLink(const QString& address);

    ViewLabel* titleLabel() const { return m_title; }
    ViewLabel* versionLabel() const { return m_version; }
    ViewFileLink* link() const { return m_link; }
    ViewLabel* noticeLabel() const { return m_notice; }

private:
    View_SimpleImage* m_image = nullptr;
    ViewLabel* m_title = nullptr;
    ViewLabel* m_version = nullptr;
    ViewFileLink* m_link = nullptr;
    ViewLabel* m_notice = nullptr;
};

class DialogAbout : public BaseDialogWidget {
    Q_OBJECT
public:
    DialogAbout(QWidget* parent, const QString& title, const QString& imagePath);

    BaseAboutSplash* splash() const { return m_splash; }

private:
    BaseAboutSplash* m_splash = nullptr;
};
