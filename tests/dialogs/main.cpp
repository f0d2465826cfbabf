// Runs the dialog tests offscreen, with settings and caches kept in a
// temporary home so the real user's files are never touched.
#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    if (home.isValid()) {
        const QByteArray path = home.path().toLocal8Bit();
        qputenv("HOME", path);
        qputenv("XDG_CONFIG_HOME", path + "/config");
        qputenv("XDG_CACHE_HOME", path + "/cache");
        qputenv("XDG_DATA_HOME", path + "/data");
        qputenv("XDG_RUNTIME_DIR", path);
    }
    QApplication app(argc, argv);
    // Number formats of the files and fields are the C locale's.
    std::setlocale(LC_NUMERIC, "C");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
