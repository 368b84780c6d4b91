#pragma once
// ViewFileLink: a clickable file path. What a left click on the text does depends on
// the mode given at construction:
//   0      reveal the file in the file manager; the text is the file name only
//   1, 2   reveal the file; the text is the whole path
//   3      nothing (a plain path text)
//   4      open the path as an address (the desktop's URL handler)
//   5      a save dialog (shown without waiting) to choose a new file name, reported
//          by ViewFileLink_ChooseNewPath
//   6 and above: reveal; whole path
// With several differing paths shown at once ("<multiple values>") a click does
// nothing. Failures are debug messages only: "Fail to reveal file (2)" / "(1)" from
// the reveal, "Choose file name idem" when the same name is chosen again.
//
// The pointing hand is this widget's own cursor (never the application's). Owned by
// its Qt parent; owns the open save dialog. GUI thread only.
#include <QFileDialog>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

class QUrl;
class ViewLabel;

class ViewFileLink : public QWidget {
    Q_OBJECT
public:
    ViewFileLink(QWidget* parent, const QRect& geometry, uint32_t mode);

    void setPath(const QString& path);
    QString path() const { return m_path; }
    // Shown instead of the path while not empty.
    void setDisplayText(const QString& text);
    // Several items with differing paths: shows "<multiple values>", clicks do nothing.
    void setMultipleValues();
    void clearMultiple();
    bool isMultiple() const { return m_multiple; }

    void alignCenter();
    void setEnabledLook(bool enabled);

    uint32_t mode() const { return m_mode; }
    ViewLabel* textLabel() const { return m_text; }
    // The save dialog of mode 5 while it is open, else null.
    QFileDialog* dialog() const { return m_dialog; }

    // Replaces the opening of addresses (mode 4) for the whole process; an empty
    // function restores QDesktopServices::openUrl.
    static void setOpenUrlHook(std::function<bool(const QUrl&)> hook);

    uint32_t tag = 0;

signals:
    void ViewFileLink_ChooseNewPath(uint32_t senderTag, const QString& newPath);

public slots:
    void act_clic();
    void close_dialog_set_target_file(int result);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refreshText();

    uint32_t m_mode = 0;
    QString m_path;
    bool m_multiple = false;
    ViewLabel* m_text = nullptr;
    QString m_displayText;
    QPointer<QFileDialog> m_dialog;
};
