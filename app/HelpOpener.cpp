#include "app/HelpOpener.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace {

class CDesktopHelpOpener : public IHelpOpener {
public:
    bool OpenUrl(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};

} // namespace

std::unique_ptr<IHelpOpener> MakeDesktopHelpOpener() {
    return std::make_unique<CDesktopHelpOpener>();
}

QString FindHelpFile(const QString& programDir) {
    const QDir dir(programDir);
    // Installed: <prefix>/bin and <prefix>/share/doc/ranvista. Built:
    // <source>/build/app, or any build folder that names its source.
    QStringList candidates = {dir.filePath("../share/doc/ranvista/README.md"),
                              dir.filePath("../../README.md")};
    for (const QString& path : candidates) {
        const QFileInfo info(path);
        if (info.isFile()) {
            return info.canonicalFilePath();
        }
    }
    return {};
}
