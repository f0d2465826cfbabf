// The main of every test program with Qt: widgets run offscreen, settings,
// caches and home folders live in a scratch folder so that nothing touches
// the real user's files, numbers are read and written in the C locale as
// the application does, and local test servers are never reached through a
// proxy the environment names.
#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    QTemporaryDir home;
    if (!home.isValid()) {
        return 1;
    }
    const QByteArray path = home.path().toLocal8Bit();
    setenv("HOME", path.constData(), 1);
    setenv("XDG_CONFIG_HOME", (path + "/config").constData(), 1);
    setenv("XDG_CACHE_HOME", (path + "/cache").constData(), 1);
    setenv("XDG_DATA_HOME", (path + "/data").constData(), 1);
    setenv("XDG_STATE_HOME", (path + "/state").constData(), 1);
    setenv("XDG_RUNTIME_DIR", path.constData(), 1);
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
