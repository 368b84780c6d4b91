#pragma once
// ViewClosableParams: a collapsible group of parameters, base of the preference
// pages. A title row (open/close triangle, title, "Reset" button) over a separator
// line, then the content widget that the page fills. The group never lays itself out
// on a click: it reports the open/close request, and the owner asks every group's
// heightHint, places them and runs their updateLayout.
//
// A new group is closed. Pages write their content height (setContentHeight) and
// override resetUi and updateLayout (calling the base updateLayout first).
// Owned by its Qt parent; owns its children. GUI thread only.
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>

class ViewBarInsertScroll;
class ViewBtnImage;
class ViewBtnText;
class ViewLabel;

class ViewClosableParams : public QWidget {
    Q_OBJECT
public:
    // Only the width of `geometry` is used: the owner places the group.
    ViewClosableParams(QWidget* parent, const QRect& geometry, const QString& title);

    // Height of the open content; the base returns the content height field.
    virtual int32_t contentHeight();
    // Puts the page's values back to their defaults; the base only logs.
    virtual void resetUi();
    virtual void setEnabledLook(bool enabled);
    // Places triangle, title, Reset button, separator and content from the width.
    virtual void updateLayout();

    // 32 when closable and closed, else contentHeight() + 32.
    int32_t heightHint();

    // Shows the matching triangle; no signal and no relayout.
    void setCloseState(bool closed);
    bool isClosed() const { return m_closed; }
    // Effective at the next updateLayout.
    void setClosable(bool closable);
    bool isClosable() const { return m_closable; }
    void setResetAvailable(bool available) { m_resetAvailable = available; }
    void setSeparatorShown(bool shown) { m_separatorShown = shown; }
    // The title keeps at least this width; below it the Reset button is hidden.
    void setMinTitleWidth(float width) { m_minTitleWidth = width; }
    void setContentHeight(int32_t height) { m_contentHeight = height; }
    bool isEnabledLook() const { return m_enabled; }

    void setToolTipAll(const QString& tip, const QList<QWidget*>& widgets);

    QWidget* content() const { return m_content; }
    ViewBtnText* resetButton() const { return m_resetButton; }
    ViewBtnImage* triangle() const { return m_triangle; }
    ViewLabel* titleLabel() const { return m_title; }

    uint32_t tag = 0;
    // Names the group for its owner (e.g. which page of the preferences it is).
    QString groupIdentifier;

signals:
    void ViewClosableParams_OpenCloseGroup(uint32_t senderTag, bool nCloseState);
    void ViewClosableParams_OpenCloseAllGroup(uint32_t senderTag, bool nCloseState);
    void ViewClosableParams_ClicReset(uint32_t senderTag);
    // The person edited the values of these keys in the group, to whatever value
    // (a preference page's Reset reports every value of the page).
    void ViewClosableParams_Edited(const QStringList& keys);

public slots:
    void ViewBtnImage_Clic(uint32_t senderTag, Qt::KeyboardModifiers flags);
    void act_btn_reset();

protected:
    int32_t m_contentHeight = 0;

private:
    ViewBtnText* m_resetButton = nullptr;
    bool m_resetAvailable = true;
    bool m_separatorShown = true;
    bool m_closed = true;
    float m_minTitleWidth = 150.0f;
    QWidget* m_content = nullptr;
    bool m_enabled = true;
    bool m_closable = true;
    ViewBtnImage* m_triangle = nullptr;
    ViewLabel* m_title = nullptr;
    ViewBarInsertScroll* m_separator = nullptr;
};
