// File > Recent Pairs: the last stereo pairs opened, newest first, kept in
// the settings.
#pragma once

#include <QString>

#include <string>
#include <vector>

class QSettings;

struct RecentPair {
    std::string leftFile; // full paths
    std::string rightFile;
    bool operator==(const RecentPair&) const = default;
};

class RecentPairs {
public:
    static constexpr std::size_t kMaxPairs = 8;

    // Puts pair first. The same two files opened again (in either order)
    // move up instead of appearing twice; the oldest beyond kMaxPairs drop.
    // A pair with an empty side is ignored.
    void Add(const RecentPair& pair);
    void Remove(const RecentPair& pair);
    const std::vector<RecentPair>& Pairs() const { return m_vPairs; }

    // Reads the list saved by Save; entries that are not two file names are
    // skipped.
    static RecentPairs Load(QSettings& settings);
    void Save(QSettings& settings) const;

    // "&1 LEFTTITLE + RIGHTTITLE": the menu text of the pair at index.
    static QString MenuText(std::size_t index, const RecentPair& pair);

private:
    std::vector<RecentPair> m_vPairs;
};
