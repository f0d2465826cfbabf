// The network tests run their servers and downloads in one Qt event loop.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    // The test servers are local: never through a proxy the environment names.
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
