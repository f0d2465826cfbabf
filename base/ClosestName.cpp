#include "base/ClosestName.h"

#include <algorithm>
#include <numeric>

namespace {

// Edits (insert, delete, substitute, swap two neighbours) from a to b.
size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) {
        d[i][0] = i;
    }
    std::iota(d[0].begin(), d[0].end(), size_t{0});
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                d[i - 1][j - 1] + (a[i - 1] != b[j - 1] ? 1 : 0)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

} // namespace

std::optional<std::string> ClosestName(std::string_view text,
                                       const std::vector<std::string>& candidates) {
    std::optional<std::string> best;
    size_t bestDistance = 0;
    for (const auto& c : candidates) {
        const size_t d = EditDistance(text, c);
        if (!best || d < bestDistance) {
            best = c;
            bestDistance = d;
        }
    }
    if (!best || bestDistance > (std::max(text.size(), best->size()) + 2) / 3) {
        return std::nullopt;
    }
    return best;
}
