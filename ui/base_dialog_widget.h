#pragma once
// BaseDialogWidget: the free-standing panel (preferences, hardware information, audio
// panels, shortcuts, about) with the dialogs' dark background, right-aligned bottom
// buttons and button signals: OK and cancel emit clic_btn_dialog_1 / _2 with the
// sender tag and close the panel (closing does not delete it). It keeps a size given
// at construction that the subclass applies, and follows the screen of its native
// window to keep a high-DPI flag.
// A number still being typed in one of its entries ends, as Return would end it,
// before a button acts and before the window's close reaches a derived panel's
// handler (storing nothing by itself).
// A window of its own even with a parent. Owned by its creator. GUI thread only.
#include <QList>
#include <QString>
#include <QWidget>

#include <cstdint>

class QScreen;
class ViewBtnText;

class BaseDialogWidget : public QWidget {
    Q_OBJECT
public:
    BaseDialogWidget(QWidget* parent, const QString& title, uint32_t defaultWidth = 100,
                     uint32_t defaultHeight = 100);

    // A 100 x 25 button with the default colours, appended to the bottom buttons.
    ViewBtnText* createButton(const QString& text);
    ViewBtnText* addOkButton(const QString& text);
    ViewBtnText* addCancelButton(const QString& text);
    const QList<ViewBtnText*>& buttons() const { return m_buttons; }

    uint32_t defaultWidth() const { return m_defaultWidth; }
    uint32_t defaultHeight() const { return m_defaultHeight; }

    // As BaseDialog::linkScreenChanged.
    void linkScreenChanged();
    bool isHighDpi() const { return m_highDpi != 0; }

    uint32_t senderTag = 0;

signals:
    void clic_btn_dialog_1(uint32_t sender_tag);
    void clic_btn_dialog_2(uint32_t sender_tag);
    void clic_btn_dialog_3(uint32_t sender_tag);

public slots:
    virtual void close_dialog_ok();
    virtual void close_dialog_cancel();
    virtual void close_dialog_abort();
    void screen_changed_slot(QScreen* screen);

protected:
    // Ends a pending edit before a close event is handled.
    bool event(QEvent* event) override;
    // Places the bottom buttons; subclasses call it first.
    void resizeEvent(QResizeEvent* event) override;

private:
    uint32_t m_defaultHeight = 100;
    uint32_t m_defaultWidth = 100;
    uint8_t m_highDpi = 0;
    QList<ViewBtnText*> m_buttons;
};
