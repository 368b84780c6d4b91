// The player's start on a machine without a usable Vulkan driver, run as the program
// runs it, in a child process: the "GPU Error" box, then an ordinary end with status 1.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "app/main/player_start.h"

namespace {

// The box of the child: says what it would show, and is closed at once.
void print_box(const QString& title, const QString& text) {
    std::fprintf(stderr, "box [%s] %s\n", qPrintable(title), qPrintable(QString(text).replace('\n', ' ')));
    std::fflush(stderr);
}

// Runs the player with `icd` as its only Vulkan driver, then ends the child with the
// player's status (the folder is the child's own copy of the test's drivers).
[[noreturn]] void run_with_driver(const QString& icd, QTemporaryDir& drivers) {
    alarm(60);  // a start that reaches the event loop fails the test instead of hanging it
    qputenv("VK_ICD_FILENAMES", icd.toUtf8());
    qputenv("QT_QPA_PLATFORM", "xcb");  // Vulkan on the X server, as the player uses it
    char name[] = "norvu_hap_player";
    char* argv[] = {name, nullptr};
    const int status = runPlayer(1, argv, print_box);
    drivers.remove();
    std::exit(status);
}

void write_file(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

TEST(PlayerStart, NoUsableVulkanDriverShowsTheBoxThenEndsWithStatusOne) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "needs the X server";
    // The child runs this test alone in a new process, never beside other tests' Qt.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QTemporaryDir drivers;
    ASSERT_TRUE(drivers.isValid());
    const QString no_library = drivers.filePath("no_library.json");
    write_file(no_library, R"({"file_format_version": "1.0.0",
        "ICD": {"library_path": "/nonexistent/libvulkan_none.so", "api_version": "1.3.0"}})");
    const QString garbage = drivers.filePath("garbage.json");
    write_file(garbage, "\x01\x02 not a driver file {{{");

    // The box with its text, then the log line, then status 1: no abort, no core dump.
    const char* expected =
        "box \\[GPU Error\\] Failed to create Vulkan instance\\. Norvu HAP Player need GPU supporting Vulkan\\."
        ".*Failed to create Vulkan instance: -?[0-9]+";
    for (const QString& icd : {drivers.filePath("missing.json"), no_library, garbage}) {
        SCOPED_TRACE(icd.toStdString());
        EXPECT_EXIT(run_with_driver(icd, drivers), testing::ExitedWithCode(1), expected);
    }
}

}  // namespace
