#include "base/settings/panel_settings.h"
#include "base/settings/setting_bool_state.h"

#include "log_capture.h"
#include "widget_app.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <gtest/gtest.h>

namespace {

// The attributes of the first element of `xml`.
QXmlStreamAttributes attributesOf(const QString& xml) {
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement)
            return reader.attributes();
    }
    return {};
}

TEST(SettingBoolState, WritesInKeyOrderAndReadsBack) {
    SettingBoolState written;
    written.setValue(true, QStringLiteral("b"));
    written.setValue(false, QStringLiteral("B"));
    written.setValue(true, QStringLiteral("a"));
    written.setValue(false, QStringLiteral("b"));  // replaces
    QString xml;
    QXmlStreamWriter writer(&xml);
    writer.writeStartElement(QStringLiteral("root"));
    written.writeXml(writer);
    writer.writeEndElement();
    EXPECT_EQ(xml, QStringLiteral("<root><ui_bool_setting k=\"B\" v=\"NO\"/><ui_bool_setting k=\"a\" v=\"YES\"/>"
                                  "<ui_bool_setting k=\"b\" v=\"NO\"/></root>"));

    SettingBoolState read;
    read.setValue(true, QStringLiteral("kept"));  // a default the file does not name
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("ui_bool_setting"))
            read.readXml(reader.attributes());
    }
    EXPECT_FALSE(read.value(QStringLiteral("B"), true));
    EXPECT_TRUE(read.value(QStringLiteral("a"), false));
    EXPECT_FALSE(read.value(QStringLiteral("b"), true));
    EXPECT_TRUE(read.value(QStringLiteral("kept"), false));
    EXPECT_TRUE(read.value(QStringLiteral("absent"), true));
    EXPECT_FALSE(read.contains(QStringLiteral("absent")));
}

TEST(SettingBoolState, ReadXmlCases) {
    struct Case {
        const char* element;
        bool stored;
        bool value;
    };
    const Case cases[] = {
        {"<e k=\"x\" v=\"YES\"/>", true, true},
        {"<e k=\"x\" v=\"yes\"/>", true, false},
        {"<e k=\"x\" v=\"true\"/>", true, false},
        {"<e k=\"x\"/>", false, false},
        {"<e v=\"YES\"/>", false, false},
        {"<e k=\"\" v=\"YES\"/>", false, false},
        {"<e k=\"x\" v=\"\"/>", false, false},
    };
    for (const Case& c : cases) {
        SettingBoolState state;
        LogCapture log;
        state.readXml(attributesOf(QString::fromUtf8(c.element)));
        EXPECT_EQ(state.contains(QStringLiteral("x")), c.stored) << c.element;
        EXPECT_EQ(state.value(QStringLiteral("x"), false), c.value) << c.element;
        const bool refused = !c.stored;
        EXPECT_EQ(int(log.all().count(QStringLiteral("Invalid XML Attribute for SettingBoolState"))), refused ? 1 : 0) << c.element;
    }
}

TEST(PanelSettings, ReadStopsAtTheFirstBadCoordinate) {
    struct Case {
        const char* element;
        const char* error;  // empty when the record is valid
        QRect rect;
    };
    const Case cases[] = {
        {"<panel is_visible=\"YES\" is_full_screen=\"NO\" x=\"10\" y=\"20\" w=\"300\" h=\"200\"/>", "", QRect(10, 20, 300, 200)},
        {"<panel x=\"10\" y=\"abc\" w=\"5\" h=\"5\"/>", "Error coord y", QRect(10, 0, 0, 0)},
        {"<panel y=\"1\" w=\"5\" h=\"5\"/>", "Error coord x", QRect(0, 0, 0, 0)},
        {"<panel x=\"1\" y=\"2\" w=\"5.5\" h=\"5\"/>", "Error width", QRect(1, 2, 0, 0)},
        {"<panel x=\"1\" y=\"2\" w=\"5\"/>", "Error height", QRect(1, 2, 5, 0)},
        {"<panel x=\"-8\" y=\"-8\" w=\"5\" h=\"99999999999\"/>", "Error height", QRect(-8, -8, 5, 0)},
    };
    for (const Case& c : cases) {
        LogCapture log;
        const PanelSettings panel = PanelSettings::fromAttributes(attributesOf(QString::fromUtf8(c.element)));
        EXPECT_EQ(panel.valid, c.error[0] == '\0') << c.element;
        EXPECT_EQ(panel.geometry(), c.rect) << c.element;
        const QStringList expected = c.error[0] ? QStringList{QString::fromUtf8(c.error)} : QStringList();
        EXPECT_EQ(log.all(), expected) << c.element;
    }
}

TEST(PanelSettings, WindowRoundTrip) {
    widget_app();
    QWindow window;
    window.setGeometry(50, 60, 320, 240);
    window.show();
    const PanelSettings saved = PanelSettings::fromWindow(window);
    EXPECT_TRUE(saved.valid);
    QString xml;
    QXmlStreamWriter writer(&xml);
    writer.writeStartElement(QStringLiteral("panel"));
    saved.writeXml(writer);
    writer.writeEndElement();
    EXPECT_EQ(xml, QStringLiteral("<panel is_visible=\"YES\" is_full_screen=\"NO\" x=\"%1\" y=\"%2\" w=\"%3\" h=\"%4\"/>")
                       .arg(window.geometry().x())
                       .arg(window.geometry().y())
                       .arg(window.geometry().width())
                       .arg(window.geometry().height()));

    const PanelSettings read = PanelSettings::fromAttributes(attributesOf(xml));
    EXPECT_TRUE(read.valid);
    EXPECT_EQ(read.geometry(), window.geometry());
    EXPECT_TRUE(read.is_visible);
    EXPECT_FALSE(read.is_full_screen);

    const PanelSettings none;  // neither captured nor read
    EXPECT_FALSE(none.valid);
}

TEST(PanelSettings, CheckOnScreens) {
    widget_app();
    const QList<QScreen*> screens = QGuiApplication::screens();
    ASSERT_FALSE(screens.isEmpty());
    const QRect avail = screens.first()->availableGeometry();
    struct Case {
        QRect rect;
        bool valid;
    };
    const Case cases[] = {
        {QRect(avail.x() - 8, avail.y() - 8, 100, 100), false},
        {avail, true},  // edges included
        {QRect(avail.x(), avail.y(), avail.width() + 1, avail.height()), false},
        {QRect(avail.x() + 10, avail.y() + 10, 100, 0), false},  // an empty window is never restored
        {QRect(avail.x() + 10, avail.y() + 10, -5, 100), false},
    };
    for (const Case& c : cases) {
        const QString xml = QStringLiteral("<panel x=\"%1\" y=\"%2\" w=\"%3\" h=\"%4\"/>")
                                .arg(c.rect.x()).arg(c.rect.y()).arg(c.rect.width()).arg(c.rect.height());
        PanelSettings panel = PanelSettings::fromAttributes(attributesOf(xml));
        ASSERT_TRUE(panel.valid);
        panel.checkOnScreens(screens);
        EXPECT_EQ(panel.valid, c.valid) << xml.toStdString();
    }
    PanelSettings unread =
        PanelSettings::fromAttributes(attributesOf(QStringLiteral("<panel x=\"10\" y=\"10\" w=\"100\"/>")));
    unread.h = 100;  // even made whole, a record that failed to read stays invalid
    unread.checkOnScreens(screens);
    EXPECT_FALSE(unread.valid);

    PanelSettings onNoScreen =
        PanelSettings::fromAttributes(attributesOf(QStringLiteral("<panel x=\"0\" y=\"0\" w=\"10\" h=\"10\"/>")));
    onNoScreen.checkOnScreens({});
    EXPECT_FALSE(onNoScreen.valid);
}

}  // namespace
