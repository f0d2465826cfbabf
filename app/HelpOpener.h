// Help > Ranvista Help: the README shown by the system's browser (or
// whatever the desktop opens it with). Behind an interface so that tests
// never launch one.
#pragma once

#include <QString>
#include <QUrl>

#include <memory>

class IHelpOpener {
public:
    virtual ~IHelpOpener() = default;
    // Hands url to the desktop; false when nothing could open it.
    virtual bool OpenUrl(const QUrl& url) = 0;
};

// QDesktopServices::openUrl.
std::unique_ptr<IHelpOpener> MakeDesktopHelpOpener();

// The README for a program in programDir: installed beside it in
// ../share/doc/ranvista, or, run from a build folder, the source tree's.
// Empty when there is none.
QString FindHelpFile(const QString& programDir);
