// ranvista: the desktop application.
#include "app/RanvistaApp.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
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
