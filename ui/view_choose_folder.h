#pragma once
// ViewChooseFolder: a title, a "Choose" button and the chosen folder as a link
// (whole path, reveals the folder). The button asks for a folder; a cancelled
// question changes nothing, an answer is reported by ViewChooseFolder_FolderChange.
// The question goes through `askFolder`, which tests replace. Owned by its Qt parent.
// GUI thread only.
#include <QRect>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

class ViewBtnText;
class ViewFileLink;
class ViewLabel;

class ViewChooseFolder : public QWidget {
    Q_OBJECT
public:
    ViewChooseFolder(QWidget* parent, const QRect& geometry, const QString& title);

    // Shows `folder` (no signal).
    void setFolder(const QString& folder);
    QString folder() const { return m_folder; }
    void enable() { setEnabledState(true); }
    void disable() { setEnabledState(false); }
    bool isEnabledLook() const { return m_enabled; }

    ViewFileLink* link() const { return m_link; }
    ViewBtnText* chooseButton() const { return m_button; }

    // Asks for a folder starting at `start`; an empty answer means cancelled. The
    // default runs QFileDialog::getExistingDirectory (modal).
    std::function<QString(QWidget* parent, const QString& caption, const QString& start)> askFolder;

    uint32_t tag = 0;

signals:
    void ViewChooseFolder_FolderChange(uint32_t senderTag);

public slots:
    void act_btn_choose();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void setEnabledState(bool enabled);
    void layoutChildren();

    bool m_enabled = true;
    ViewLabel* m_title = nullptr;
    ViewBtnText* m_button = nullptr;
    ViewFileLink* m_link = nullptr;
    QString m_folder;
    bool m_multiple = false;
};
