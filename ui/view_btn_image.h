#pragma once
// ViewBtnImage: a button painted from one or several pictures. A press plays a short
// "animscale" bounce; in click mode 0 (cycling) a left press also steps to the next
// picture with a 150 ms cross-fade ("fade_image"), as the open/closed triangle and
// the mute button do. A left press sends ViewBtnImage_Clic, a right press
// ViewBtnImage_RightClic, each with the owner's tag first. Either press first ends
// the edit still being typed in an entry of the window (view_pending_edit.h).
//
// Click modes: 0 cycling, 1 short press feedback, 2 bounce; 1 and 2 never change
// the picture.
//
// Disabled (opacity 0.5) the button ignores presses and shows no pointing hand. The
// hand cursor is the widget's own, never the application's override cursor.
//
// Owned by its Qt parent. GUI thread only. A picture that fails to load is logged
// ("Can't load Btn Img : " + path) and kept as a null picture, which paints nothing.
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QWidget>

#include <cstdint>

class QMouseEvent;
class QParallelAnimationGroup;

class ViewBtnImage : public QWidget {
    Q_OBJECT
    Q_PROPERTY(double animscale READ scale WRITE setScale NOTIFY anim_scale_changed)
    Q_PROPERTY(double fade_image READ fade WRITE setFade NOTIFY fade_image_changed)
public:
    // One picture; an empty path gives a button without picture.
    ViewBtnImage(QWidget* parent, const QRect& geometry, const QString& path);
    // One picture per path, in order.
    ViewBtnImage(QWidget* parent, const QRect& geometry, const QStringList& paths);

    // Opacity 1.0 or 0.5; acts only on a change.
    void setEnabledLook(bool enabled);
    void enable() { setEnabledLook(true); }
    void disable() { setEnabledLook(false); }
    bool isEnabledLook() const { return m_enabled; }

    // Shows picture `index` (ignored when not below the image count), cross-fading
    // from the previous one over 150 ms when `animate`.
    void setImageIndex(uint32_t index, bool animate);
    // The next picture, wrapping to 0.
    void nextImage(bool animate);
    uint32_t imageIndex() const { return m_imageIndex; }
    uint32_t imageCount() const { return m_imageCount; }

    double scale() const { return m_scale; }
    void setScale(double scale);
    double fade() const { return m_fade; }
    void setFade(double fade);
    void setClickMode(uint32_t mode) { m_clickMode = mode; }
    uint32_t clickMode() const { return m_clickMode; }

    void setId(uint32_t id) { tag = id; }
    // Sent first in every signal; written by the owner.
    uint32_t tag = 0;

signals:
    void ViewBtnImage_Clic(uint32_t senderTag, Qt::KeyboardModifiers flags);
    // The event is valid only during the emission (direct connections).
    void ViewBtnImage_RightClic(uint32_t senderTag, QMouseEvent* event);
    void anim_scale_changed();
    void fade_image_changed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    ViewBtnImage(QWidget* parent, const QRect& geometry);
    void startFade(QParallelAnimationGroup* group);
    QPixmap imageAt(int64_t index) const;

    double m_scale = 1.0;
    double m_fade = 1.0;
    uint32_t m_clickMode = 0;
    bool m_enabled = true;
    uint32_t m_imageIndex = 0;
    uint32_t m_imageCount = 1;
    QList<QPixmap> m_images;
    QPointer<QParallelAnimationGroup> m_pressAnimation;
    QPointer<QParallelAnimationGroup> m_switchAnimation;
};
