// The video window's events: signals for presses, drags, releases, wheel and keys,
// hit zones of the overlays, and the window's own override cursor.
#include <gtest/gtest.h>

#include <QCursor>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include "movie/file_link_information_data.h"
#include "render/vulkan_win_renderer.h"
#include "tests/render/test_video_renderer_fixture.h"

using namespace vktest;

namespace {

class VideoWindowEvents : public VideoWindowTest {
protected:
    void SetUp() override {
        VideoWindowTest::SetUp();
        if (HasFatalFailure()) return;
        qRegisterMetaType<const QMouseEvent*>();
        qRegisterMetaType<QKeyEvent*>();
        qRegisterMetaType<QWheelEvent*>();
        // The real pointer goes to a corner no test window reaches, so that windows of
        // tests running beside this one never send ours an enter or leave event.
        QCursor::setPos(QPoint(1919, 1079));
        QCoreApplication::processEvents();
        openWindow(QSize(1280, 720));
        if (HasFatalFailure()) return;
        const QList<QByteArray> names = {"viewVideoRightClic",       "viewVideoDoubleClick",
                                         "viewVideoKeyPressEvent",   "viewVideoKeyReleaseEvent",
                                         "viewVideoClicError",       "viewVideoClicNameFile",
                                         "ViewVideo_MousePress",     "ViewVideo_MouseDragged",
                                         "ViewVideo_MouseRelease",   "ViewVideo_MiddleMousePress",
                                         "ViewVideo_MiddleMouseDragged", "ViewVideo_MiddleMouseRelease",
                                         "viewVideoMouseScroll"};
        const QMetaObject* meta = window->metaObject();
        for (const QByteArray& name : names) {
            for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
                const QMetaMethod method = meta->method(i);
                if (method.methodType() == QMetaMethod::Signal && method.name() == name) {
                    spies[name] = std::make_shared<QSignalSpy>(window.get(), method);
                    break;
                }
            }
            ASSERT_TRUE(spies.contains(name)) << name.constData();
        }
    }

    void TearDown() override {
        while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
        spies.clear();
        VideoWindowTest::TearDown();
    }

    int count(const QByteArray& name) { return int(spies[name]->count()); }
    int total() {
        int n = 0;
        for (const auto& spy : spies) n += int(spy->count());
        return n;
    }
    void clearSpies() {
        for (const auto& spy : spies) spy->clear();
    }
    void sendWheel(QPointF at) {
        QWheelEvent event(at, window->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        event.setAccepted(false);
        QCoreApplication::sendEvent(window.get(), &event);
        lastWheelAccepted = event.isAccepted();
    }

    QHash<QByteArray, std::shared_ptr<QSignalSpy>> spies;
    bool lastWheelAccepted = false;
};

}  // namespace

TEST_F(VideoWindowEvents, PressesGoToTheirSignalsAndOverlayZones) {
    // Both overlays hidden: a plain press.
    QTest::mousePress(window.get(), Qt::LeftButton, {}, QPoint(10, 10));
    ASSERT_EQ(count("ViewVideo_MousePress"), 1);
    EXPECT_EQ(spies["ViewVideo_MousePress"]->at(0).at(0).toPointF(), QPointF(10, 10));
    EXPECT_EQ(total(), 1);
    QTest::mouseRelease(window.get(), Qt::LeftButton, {}, QPoint(10, 10));
    clearSpies();

    FileLinkInformationData zone(nullptr, QRect(10, 10, 100, 20), QStringLiteral("/media/a.wav"));
    window->setInformationOverlayRect(QRect(880, 0, 400, 720));
    window->setInformationZones({&zone});
    window->setShowInformationOverlay(true);
    QTest::mousePress(window.get(), Qt::LeftButton, {}, QPoint(895, 25));
    ASSERT_EQ(count("viewVideoClicNameFile"), 1);
    EXPECT_EQ(spies["viewVideoClicNameFile"]->at(0).at(0).toString(), QStringLiteral("/media/a.wav"));
    QTest::mouseRelease(window.get(), Qt::LeftButton, {}, QPoint(895, 25));
    clearSpies();
    // Inside the overlay, outside every zone: nothing.
    QTest::mousePress(window.get(), Qt::LeftButton, {}, QPoint(1000, 500));
    EXPECT_EQ(total(), 0);
    QTest::mouseRelease(window.get(), Qt::LeftButton, {}, QPoint(1000, 500));
    clearSpies();
    QTest::mousePress(window.get(), Qt::RightButton, {}, QPoint(895, 25));
    EXPECT_EQ(count("viewVideoRightClic"), 1);
    EXPECT_EQ(total(), 1);
    QTest::mouseRelease(window.get(), Qt::RightButton, {}, QPoint(895, 25));
    window->setShowInformationOverlay(false);
    clearSpies();

    // Error box: a left press clicks it; a middle press is still a middle press.
    window->setErrorOverlayRect(QRect(415, 300, 450, 120));
    window->setShowErrorOverlay(true);
    QTest::mousePress(window.get(), Qt::LeftButton, {}, QPoint(500, 350));
    EXPECT_EQ(count("viewVideoClicError"), 1);
    EXPECT_EQ(total(), 1);
    QTest::mouseRelease(window.get(), Qt::LeftButton, {}, QPoint(500, 350));
    clearSpies();
    QTest::mousePress(window.get(), Qt::MiddleButton, {}, QPoint(500, 350));
    QTest::mouseRelease(window.get(), Qt::MiddleButton, {}, QPoint(500, 350));
    EXPECT_EQ(count("ViewVideo_MiddleMousePress"), 1);
    EXPECT_EQ(count("ViewVideo_MouseRelease"), 1);
    EXPECT_EQ(count("ViewVideo_MiddleMouseRelease"), 0);
    EXPECT_EQ(total(), 2);
}

TEST_F(VideoWindowEvents, DragsWheelKeysAndDoubleClick) {
    QTest::mousePress(window.get(), Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseMove(window.get(), QPoint(140, 120));
    QTest::mouseRelease(window.get(), Qt::LeftButton, {}, QPoint(140, 120));
    ASSERT_GE(count("ViewVideo_MouseDragged"), 1);
    EXPECT_EQ(spies["ViewVideo_MouseDragged"]->last().at(0).toPointF(), QPointF(140, 120));
    QTest::mousePress(window.get(), Qt::MiddleButton, {}, QPoint(100, 100));
    QTest::mouseMove(window.get(), QPoint(90, 80));
    QTest::mouseRelease(window.get(), Qt::MiddleButton, {}, QPoint(90, 80));
    EXPECT_GE(count("ViewVideo_MiddleMouseDragged"), 1);
    clearSpies();

    const QSize size = window->geometry().size();
    sendWheel(QPointF(size.width(), size.height()));
    EXPECT_EQ(count("viewVideoMouseScroll"), 1);
    EXPECT_TRUE(lastWheelAccepted);
    sendWheel(QPointF(size.width() + 1, size.height()));
    EXPECT_EQ(count("viewVideoMouseScroll"), 1);
    clearSpies();

    QTest::keyPress(window.get(), Qt::Key_Space);
    QTest::keyRelease(window.get(), Qt::Key_Space);
    EXPECT_EQ(count("viewVideoKeyPressEvent"), 1);
    EXPECT_EQ(count("viewVideoKeyReleaseEvent"), 1);
    QTest::mouseDClick(window.get(), Qt::LeftButton, {}, QPoint(30, 30));
    EXPECT_EQ(count("viewVideoDoubleClick"), 1);
}

TEST_F(VideoWindowEvents, OneOverrideCursorAtMostAndNeverLeftBehind) {
    ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
    MessageCapture capture;
    window->setCursorIndex(4);
    EXPECT_TRUE(capture.contains("Invalid cursor index : 4"));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    FileLinkInformationData first(nullptr, QRect(10, 10, 100, 20), QStringLiteral("/a.wav"));
    FileLinkInformationData second(nullptr, QRect(10, 40, 100, 20), QStringLiteral("/b.wav"));
    window->setInformationOverlayRect(QRect(880, 0, 400, 720));
    window->setInformationZones({&first, &second});
    window->setShowInformationOverlay(true);
    QTest::mouseMove(window.get(), QPoint(895, 25));
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::PointingHandCursor);
    // From zone to zone: still one override on the stack.
    QTest::mouseMove(window.get(), QPoint(895, 55));
    int depth = 0;
    while (QGuiApplication::overrideCursor() && depth < 10) {
        QGuiApplication::restoreOverrideCursor();
        ++depth;
    }
    EXPECT_EQ(depth, 1);
    QTest::mouseMove(window.get(), QPoint(1000, 400));  // back in step with the window

    // Moving out of the zones removes it.
    window->setCursorIndex(0);
    QTest::mouseMove(window.get(), QPoint(895, 25));
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    QTest::mouseMove(window.get(), QPoint(1000, 400));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // Hiding the overlay, replacing the zones or leaving the window while over a zone
    // takes the pointing hand away too.
    QTest::mouseMove(window.get(), QPoint(895, 25));
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    window->setShowInformationOverlay(false);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    window->setShowInformationOverlay(true);
    QTest::mouseMove(window.get(), QPoint(1000, 400));
    QTest::mouseMove(window.get(), QPoint(895, 25));
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    window->setInformationZones({});
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    window->setInformationZones({&first});
    QTest::mouseMove(window.get(), QPoint(1000, 400));
    QTest::mouseMove(window.get(), QPoint(895, 25));
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(window.get(), &leave);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}
