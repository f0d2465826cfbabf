// ranvista: the desktop application.
#include "app/RanvistaApp.h"

#include <QApplication>

#include <clocale>
#include <cstdio>

int main(int argc, char** argv) {
    // --help, --version and misuse are answered before the application
    // object exists: they need no display and open no window.
    {
        QStringList args;
        for (int i = 0; i < argc; ++i) {
            args << QString::fromLocal8Bit(argv[i]);
        }
        const ParsedCommandLine early = ParseCommandLine(args);
        if (!early.bRun) {
            std::fputs(early.sText.c_str(), early.nExitCode == 0 ? stdout : stderr);
            return early.nExitCode;
        }
    }
    QApplication app(argc, argv);
    // The application object takes the user's locale for the C library too;
    // numbers in fields and files are always written and read with a '.'.
    std::setlocale(LC_NUMERIC, "C");
    const ParsedCommandLine cmd = ParseCommandLine(QApplication::arguments());
    if (!cmd.bRun) {
        std::fputs(cmd.sText.c_str(), cmd.nExitCode == 0 ? stdout : stderr);
        return cmd.nExitCode;
    }
    CRanvistaApp theApp;
    if (!theApp.InitInstance(cmd.options)) {
        return theApp.ExitInstance(1);
    }
    const int rc = QApplication::exec();
    return theApp.ExitInstance(rc);
}
