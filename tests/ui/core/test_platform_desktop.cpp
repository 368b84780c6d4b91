#include "platform/desktop/reveal_file.h"
#include "platform/desktop/window_dpi.h"

#include "message_capture.h"
#include "widget_app.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

TEST(PlatformWindowDpi, FollowsTheDevicePixelRatioAndIsInjectable) {
    widget_app();
    QWindow window;
    const uint32_t expected = std::max<uint32_t>(96, uint32_t(qRound(96.0 * window.devicePixelRatio())));
    EXPECT_EQ(platformWindowDpi(&window), expected);
    EXPECT_EQ(platformWindowDpi(nullptr), 96u);

    setPlatformWindowDpiHook([](const QWindow*) -> uint32_t { return 120; });
    EXPECT_EQ(platformWindowDpi(&window), 120u);
    setPlatformWindowDpiHook([](const QWindow*) -> uint32_t { return 72; });
    EXPECT_EQ(platformWindowDpi(&window), 72u);
    EXPECT_EQ(platformWindowDpiDefault(&window), expected);
    setPlatformWindowDpiHook(nullptr);
    EXPECT_EQ(platformWindowDpi(&window), expected);
}

// Restores the real reveal ways when a test ends.
struct RevealBackendsGuard {
    ~RevealBackendsGuard() {
        setRevealBackends({}, {});
        setRevealInFileManagerHook({});
    }
};

TEST(RevealInFileManager, TriesShowItemsThenTheFolder) {
    widget_app();
    RevealBackendsGuard guard;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("clip one.mov"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    struct Case {
        bool showItems, openFolder, result;
        int showCalls, folderCalls;
        const char* message;
    };
    const Case cases[] = {
        {true, false, true, 1, 0, nullptr},
        {false, true, true, 1, 1, nullptr},
        {false, false, false, 1, 1, "Fail to reveal file (1)"},
    };
    for (const Case& c : cases) {
        QStringList shown, folders;
        setRevealBackends([&](const QString& url) { shown << url; return c.showItems; },
                          [&](const QString& folder) { folders << folder; return c.openFolder; });
        MessageCapture log;
        EXPECT_EQ(revealInFileManager(path), c.result);
        ASSERT_EQ(shown.size(), c.showCalls);
        EXPECT_EQ(shown.first(), QUrl::fromLocalFile(path).toString());
        EXPECT_TRUE(shown.first().startsWith(QStringLiteral("file:///")));
        ASSERT_EQ(folders.size(), c.folderCalls);
        if (c.folderCalls) {
            EXPECT_EQ(QDir(folders.first()), QDir(dir.path()));
        }
        EXPECT_EQ(log.messages(), c.message ? QStringList{QString::fromUtf8(c.message)} : QStringList());
    }
}

TEST(RevealInFileManager, MissingFileIsReportedWithoutTryingAnything) {
    widget_app();
    RevealBackendsGuard guard;
    int calls = 0;
    setRevealBackends([&](const QString&) { ++calls; return true; }, [&](const QString&) { ++calls; return true; });
    for (const QString& path : {QStringLiteral("/nonexistent/folder/clip.mov"), QString()}) {
        MessageCapture log;
        EXPECT_FALSE(revealInFileManager(path));
        EXPECT_EQ(log.messages(), QStringList{QStringLiteral("Fail to reveal file (2)")});
    }
    EXPECT_EQ(calls, 0);
}

}  // namespace
