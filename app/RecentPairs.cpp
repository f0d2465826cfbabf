#include "app/RecentPairs.h"

#include "base/Paths.h"

#include <QSettings>
#include <QStringList>

#include <algorithm>

namespace {

const char* const kKey = "RecentPairs/pairs";

bool SameFiles(const RecentPair& a, const RecentPair& b) {
    return (a.leftFile == b.leftFile && a.rightFile == b.rightFile) ||
           (a.leftFile == b.rightFile && a.rightFile == b.leftFile);
}

} // namespace

void RecentPairs::Add(const RecentPair& pair) {
    if (pair.leftFile.empty() || pair.rightFile.empty()) {
        return;
    }
    Remove(pair);
    m_vPairs.insert(m_vPairs.begin(), pair);
    if (m_vPairs.size() > kMaxPairs) {
        m_vPairs.resize(kMaxPairs);
    }
}

void RecentPairs::Remove(const RecentPair& pair) {
    std::erase_if(m_vPairs, [&](const RecentPair& p) { return SameFiles(p, pair); });
}

RecentPairs RecentPairs::Load(QSettings& settings) {
    RecentPairs out;
    const QStringList flat = settings.value(kKey).toStringList();
    // Oldest first, so that Add keeps the saved order and its limits.
    for (qsizetype i = (flat.size() / 2) * 2 - 2; i >= 0; i -= 2) {
        out.Add({flat[i].toStdString(), flat[i + 1].toStdString()});
    }
    return out;
}

void RecentPairs::Save(QSettings& settings) const {
    QStringList flat;
    for (const RecentPair& p : m_vPairs) {
        flat << QString::fromStdString(p.leftFile) << QString::fromStdString(p.rightFile);
    }
    settings.setValue(kKey, flat);
}

QString RecentPairs::MenuText(std::size_t index, const RecentPair& pair) {
    const auto title = [](const std::string& file) {
        // A title with '&' would otherwise underline the next letter.
        return QString::fromStdString(PathTitle(file)).replace('&', "&&");
    };
    return QString("&%1 %2 + %3").arg(index + 1).arg(title(pair.leftFile), title(pair.rightFile));
}
