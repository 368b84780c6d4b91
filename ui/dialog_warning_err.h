#pragma once
// DialogWarningErr: a 500 x 100 warning with a title, the message, a "Don't show
// again" switch and a "Close" button that answers clic_btn_dialog_1. A message longer
// than a line is shown whole, in lines, in a box grown to fit (within the screen). The owner reads
// the switch when the dialog closes and stores it under `settingKey`.
// Owned by its creator. GUI thread only.
#include "ui/base_dialog.h"

class ViewBtnText;
class ViewCheckbox;
class ViewLabel;

class DialogWarningErr : public BaseDialog {
    Q_OBJECT
public:
    DialogWarningErr(QWidget* parent, const QString& message, const QString& title);

    // Places message, switch and button from the size (also on every resize): the
    // message takes the height the switch and the button leave.
    void layoutContent();

    bool isDontShowAgainChecked() const;
    ViewCheckbox* dontShowAgain() const { return m_checkbox; }
    ViewBtnText* closeButton() const { return m_close; }
    ViewLabel* messageLabel() const { return m_message; }

    // The preferences switch the "Don't show again" box stands for; set by the owner.
    QString settingKey;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    ViewLabel* m_message = nullptr;
    ViewCheckbox* m_checkbox = nullptr;
    ViewBtnText* m_close = nullptr;
};
