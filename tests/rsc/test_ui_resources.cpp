// The UI resources as the widgets load them: every listed image at its display size
// and at twice it, through QImage, QIcon and a @2x read; the three Roboto faces; no
// stray file in the folder; and pictures that come in pairs pointing the right way.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QFontDatabase>
#include <QIcon>
#include <QImageReader>
#include <QRawFont>
#include <QSet>

#include "Rsc/ui_resources.h"
#include "tests/support_qt/widget_app.h"

namespace {

const QString kFolder = QStringLiteral(":/Rsc/RESSOURCES_UI/");

QString twiceName(const char* fileName) {
    QString name = QString::fromLatin1(fileName);
    return name.insert(name.size() - 4, QStringLiteral("@2x"));
}

bool hasVisiblePixel(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(argb.pixel(x, y)) > 0) return true;
    return false;
}

QImage load(const QString& name) { return QImage(kFolder + name).convertToFormat(QImage::Format_ARGB32); }

// Centre of the visible mass minus the centre of the visible box, in pixels, along x
// (Qt::Horizontal) or y. A triangle pointing right has its mass towards its base, on
// the left: negative along x.
double massOffset(const QImage& image, Qt::Orientation along) {
    double sum = 0, weight = 0;
    int low = INT32_MAX, high = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int a = qAlpha(image.pixel(x, y));
            if (a < 128) continue;
            const int at = along == Qt::Horizontal ? x : y;
            sum += a * (at + 0.5);
            weight += a;
            low = std::min(low, at);
            high = std::max(high, at);
        }
    if (weight == 0) return 0;
    return sum / weight - (low + high + 1) / 2.0;
}

// The largest channel difference between two pictures of one size, and where it is.
int worstDifference(const QImage& a, const QImage& b, QPoint* where) {
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int d = std::max({std::abs(qAlpha(p) - qAlpha(q)), std::abs(qRed(p) - qRed(q)),
                                    std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
            if (d > worst) {
                worst = d;
                *where = QPoint(x, y);
            }
        }
    return worst;
}

class UiResources : public ::testing::Test {
protected:
    // A high-density screen: the application's device pixel ratio is 2, the case in
    // which QIcon looks for the @2x files.
    static void SetUpTestSuite() {
        qputenv("QT_SCALE_FACTOR", "2");
        widget_app();
    }
};

}  // namespace

TEST_F(UiResources, EveryImageLoadsAtItsSizeAndAtTwiceIt) {
    ASSERT_FALSE(uiImageResources().empty());
    QSet<QString> seen;
    for (const UiImageResource& image : uiImageResources()) {
        const QString name = QString::fromLatin1(image.fileName);
        SCOPED_TRACE(name.toStdString());
        EXPECT_FALSE(seen.contains(name)) << "listed twice";
        seen.insert(name);
        const QSize size(image.width, image.height);

        const QImage one(kFolder + name);
        ASSERT_FALSE(one.isNull()) << "missing or unreadable";
        EXPECT_EQ(one.size(), size);
        EXPECT_EQ(one.devicePixelRatio(), 1.0);
        EXPECT_TRUE(one.hasAlphaChannel());
        EXPECT_TRUE(hasVisiblePixel(one)) << "fully transparent";

        // Read by name, the @2x file keeps the display size.
        QImageReader reader(kFolder + twiceName(image.fileName));
        const QImage two = reader.read();
        ASSERT_FALSE(two.isNull()) << "missing or unreadable @2x: " << reader.errorString().toStdString();
        EXPECT_EQ(two.size(), size * 2);
        EXPECT_EQ(two.devicePixelRatio(), 2.0);
        EXPECT_EQ(two.deviceIndependentSize(), QSizeF(size));
        EXPECT_TRUE(hasVisiblePixel(two)) << "fully transparent @2x";

        // On that screen an icon made from the plain name draws the @2x pixels, and the
        // plain file still gives the display size.
        ASSERT_EQ(qApp->devicePixelRatio(), 2.0);
        const QIcon icon(kFolder + name);
        const QPixmap sharp = icon.pixmap(size);
        EXPECT_EQ(sharp.size(), size * 2);
        EXPECT_EQ(sharp.deviceIndependentSize(), QSizeF(size));
        EXPECT_EQ(QPixmap(kFolder + name).size(), size);
    }
}

TEST_F(UiResources, EveryFontRegistersAsRobotoInItsStyle) {
    struct Face {
        const char* file;
        QFont::Style style;
        int weight;
    };
    const Face faces[] = {{"Roboto/Roboto-Regular.ttf", QFont::StyleNormal, QFont::Normal},
                          {"Roboto/Roboto-Italic.ttf", QFont::StyleItalic, QFont::Normal},
                          {"Roboto/Roboto-Bold.ttf", QFont::StyleNormal, QFont::Bold}};
    ASSERT_EQ(uiFontResources().size(), std::size(faces));
    for (const Face& face : faces) {
        SCOPED_TRACE(face.file);
        EXPECT_NE(std::find_if(uiFontResources().begin(), uiFontResources().end(),
                               [&](const char* listed) { return QLatin1String(listed) == QLatin1String(face.file); }),
                  uiFontResources().end());
        const int id = QFontDatabase::addApplicationFont(kFolder + face.file);
        ASSERT_GE(id, 0) << "not a font the application can use";
        EXPECT_TRUE(QFontDatabase::applicationFontFamilies(id).contains(QStringLiteral("Roboto")))
            << QFontDatabase::applicationFontFamilies(id).join(", ").toStdString();

        QFile file(kFolder + face.file);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QRawFont raw(file.readAll(), 12);
        ASSERT_TRUE(raw.isValid());
        EXPECT_EQ(raw.style(), face.style);
        EXPECT_EQ(raw.weight(), face.weight);
    }
}

TEST_F(UiResources, TheFolderHoldsOnlyTheListedFiles) {
    QSet<QString> expected;
    for (const UiImageResource& image : uiImageResources()) {
        expected.insert(QString::fromLatin1(image.fileName));
        expected.insert(twiceName(image.fileName));
    }
    for (const char* font : uiFontResources()) expected.insert(QString::fromLatin1(font));

    QSet<QString> found;
    QDirIterator it(kFolder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) found.insert(it.next().mid(kFolder.size()));
    EXPECT_EQ(found, expected);
}

// Pictures of opposite meaning are mirror images of each other, and the first of each
// pair points the way its name says; a swapped pair would show the wrong arrow.
TEST_F(UiResources, PairedPicturesAreMirrorImagesPointingTheRightWay) {
    struct Pair {
        const char* first;
        const char* second;
        bool horizontal;      // mirrored left-right (else top-bottom)
        int firstPointsRight;  // +1 right, -1 left, 0 not checked
    };
    const Pair pairs[] = {
        {"NAVIGATION_PLAY.png", "NAVIGATION_PLAY_REVERSE.png", true, +1},
        {"NAVIGATION_START.png", "NAVIGATION_END.png", true, 0},
        {"NAVIGATION_PREV_F.png", "NAVIGATION_NEXT_F.png", true, 0},
        {"SET_IN.png", "SET_OUT.png", true, 0},
        {"SET_IN_COLOR.png", "SET_OUT_COLOR.png", true, 0},
        {"SPINBOX_UP.png", "SPINBOX_DOWN.png", false, 0},
    };
    for (const Pair& pair : pairs) {
        SCOPED_TRACE(pair.first);
        const QImage first = load(pair.first), second = load(pair.second);
        ASSERT_FALSE(first.isNull());
        ASSERT_EQ(first.size(), second.size());
        QPoint where;
        EXPECT_LE(worstDifference(first.mirrored(pair.horizontal, !pair.horizontal), second, &where), 24)
            << "at (" << where.x() << ", " << where.y() << ")";
        if (pair.firstPointsRight) {
            EXPECT_LT(massOffset(first, Qt::Horizontal) * pair.firstPointsRight, -0.5);
        }
    }

    // Single arrows: the mass lies on the side of the base, away from the tip.
    EXPECT_LT(massOffset(load("TRIANGLE_CLOSE.png"), Qt::Horizontal), -0.5) << "a closed group points right";
    EXPECT_LT(massOffset(load("TRIANGLE_OPEN.png"), Qt::Vertical), -0.5) << "an open group points down";
    EXPECT_LT(massOffset(load("SUBMENU_TRIANGLE.png"), Qt::Horizontal), -0.5) << "a sub-menu points right";
    EXPECT_LT(massOffset(load("PLAY.png"), Qt::Horizontal), -0.5);
    EXPECT_GT(massOffset(load("SPINBOX_UP.png"), Qt::Vertical), 0.2) << "the up arrow points up";
}
