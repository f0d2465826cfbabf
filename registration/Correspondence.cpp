// The search: a base of four (or, for tiny files, three) well-spread source
// vertices is drawn at random; every reference tuple with the same pairwise
// distances (within the tolerance) is found through per-vertex lists of
// distances sorted by length, and each gives a motion that is scored by how
// many source vertices it puts within the tolerance of a reference vertex.
// Motions that move the source vertices alike are one candidate; the best
// candidates are refined by alternating matching and least squares, and the
// best two different ones are compared to detect symmetric scenes.
#include "registration/Correspondence.h"

#include "base/Format.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <unordered_map>

namespace {

bool IsFinite(const CPoint3D& p) {
    return std::isfinite(p.m_dX) && std::isfinite(p.m_dY) && std::isfinite(p.m_dZ);
}

double Distance(const CPoint3D& a, const CPoint3D& b) {
    return (a - b).Length();
}

// Reference vertices in cubic cells of twice the tolerance: the ball of
// radius tolerance around any point lies within the 2 x 2 x 2 cells nearest
// to it.
class ReferenceGrid {
public:
    ReferenceGrid(const std::vector<CPoint3D>& points, const std::vector<std::uint32_t>& valid,
                  double toleranceM)
        : m_points(points), m_dTolerance(toleranceM), m_dCell(2.0 * toleranceM) {
        m_cells.reserve(valid.size() * 2);
        for (const std::uint32_t i : valid) {
            const Key k{Cell(points[i].m_dX), Cell(points[i].m_dY), Cell(points[i].m_dZ)};
            m_cells[k].push_back(i);
        }
    }

    struct Hit {
        std::uint32_t index = 0;
        double distanceM = 0.0;
    };

    // The nearest reference vertex within the tolerance of p.
    std::optional<Hit> Nearest(const CPoint3D& p) const {
        std::optional<Hit> best;
        ++m_nVisited; // the lookup itself counts as one
        const double c[3] = {p.m_dX / m_dCell, p.m_dY / m_dCell, p.m_dZ / m_dCell};
        std::int64_t lo[3];
        for (int a = 0; a < 3; ++a) {
            const double f = std::floor(Clamp(c[a]));
            lo[a] = static_cast<std::int64_t>(f) - (Clamp(c[a]) - f < 0.5 ? 1 : 0);
        }
        for (int dx = 0; dx < 2; ++dx) {
            for (int dy = 0; dy < 2; ++dy) {
                for (int dz = 0; dz < 2; ++dz) {
                    const auto it = m_cells.find(Key{lo[0] + dx, lo[1] + dy, lo[2] + dz});
                    if (it == m_cells.end()) {
                        continue;
                    }
                    m_nVisited += it->second.size();
                    for (const std::uint32_t i : it->second) {
                        const double d = Distance(m_points[i], p);
                        if (d <= m_dTolerance && (!best || d < best->distanceM)) {
                            best = Hit{i, d};
                        }
                    }
                }
            }
        }
        return best;
    }

    // Lookups and reference vertices compared in them, so far.
    std::size_t Visited() const { return m_nVisited; }

private:
    struct Key {
        std::int64_t x, y, z;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& k) const {
            const auto h = static_cast<std::uint64_t>(k.x) * 0x9E3779B97F4A7C15ull ^
                           static_cast<std::uint64_t>(k.y) * 0xC2B2AE3D27D4EB4Full ^
                           static_cast<std::uint64_t>(k.z) * 0x165667B19E3779F9ull;
            return static_cast<size_t>(h ^ (h >> 29));
        }
    };
    static double Clamp(double v) { return std::clamp(v, -1e15, 1e15); }
    std::int64_t Cell(double v) const {
        return static_cast<std::int64_t>(std::floor(Clamp(v / m_dCell)));
    }

    const std::vector<CPoint3D>& m_points;
    double m_dTolerance;
    double m_dCell;
    std::unordered_map<Key, std::vector<std::uint32_t>, KeyHash> m_cells;
    mutable std::size_t m_nVisited = 0;
};

// For each reference vertex, the other valid vertices by distance.
class DistanceIndex {
public:
    struct Entry {
        float distanceM;
        std::uint32_t index;
        bool operator<(const Entry& o) const { return distanceM < o.distanceM; }
    };

    DistanceIndex(const std::vector<CPoint3D>& points, const std::vector<std::uint32_t>& valid)
        : m_nCount(points.size()), m_vMatrix(points.size() * points.size(), 0.0f),
          m_vLists(points.size()) {
        for (const std::uint32_t j : valid) {
            auto& list = m_vLists[j];
            list.reserve(valid.size());
            for (const std::uint32_t l : valid) {
                if (l != j) {
                    const auto d = static_cast<float>(Distance(points[j], points[l]));
                    m_vMatrix[j * m_nCount + l] = d;
                    list.push_back({d, l});
                }
            }
            std::sort(list.begin(), list.end());
        }
    }

    double At(std::uint32_t a, std::uint32_t b) const { return m_vMatrix[a * m_nCount + b]; }

    // The vertices whose distance from j lies within [d - tol, d + tol].
    std::pair<const Entry*, const Entry*> Around(std::uint32_t j, double d, double tol) const {
        const auto& list = m_vLists[j];
        const auto lo =
            std::lower_bound(list.begin(), list.end(), Entry{static_cast<float>(d - tol), 0});
        const auto hi = std::upper_bound(lo, list.end(), Entry{static_cast<float>(d + tol), 0});
        return {list.data() + (lo - list.begin()), list.data() + (hi - list.begin())};
    }

private:
    size_t m_nCount;
    std::vector<float> m_vMatrix;
    std::vector<std::vector<Entry>> m_vLists;
};

struct Candidate {
    RigidMotion motion;
    size_t count = 0;
};

struct Matching {
    std::vector<IndexPair> pairs;
    LeastSquaresResult fit;
};

class Search {
public:
    Search(const std::vector<CPoint3D>& source, const std::vector<CPoint3D>& reference,
           const std::vector<std::uint32_t>& validSource,
           const std::vector<std::uint32_t>& validReference, double toleranceM, unsigned seed)
        : m_source(source), m_reference(reference), m_validSource(validSource),
          m_dTolerance(toleranceM), m_grid(reference, validReference, toleranceM),
          m_distances(reference, validReference), m_validReference(validReference), m_rng(seed) {
        m_order = validSource;
        std::shuffle(m_order.begin(), m_order.end(), m_rng);
    }

    void Run(std::chrono::milliseconds timeLimit) {
        m_deadline = std::chrono::steady_clock::now() + timeLimit;
        const size_t base = (m_validSource.size() >= 4 && m_validReference.size() >= 4) ? 4 : 3;
        constexpr size_t kMinBases = 60;
        constexpr size_t kMaxBases = 3000;
        for (size_t it = 0; it < kMaxBases; ++it) {
            if (it >= kMinBases && it >= BasesNeeded(base)) {
                break;
            }
            if (m_nHypotheses >= kMaxHypotheses || m_grid.Visited() >= kMaxComparisons ||
                std::chrono::steady_clock::now() > m_deadline) {
                m_bStoppedEarly = true;
                break;
            }
            std::array<std::uint32_t, 4> b{};
            if (!DrawBase(base, b)) {
                break;
            }
            TryBase(base, b);
        }
    }

    bool StoppedEarly() const { return m_bStoppedEarly; }

    // Refines the best candidates; returns them, best first, each a
    // different motion.
    std::vector<Matching> Refined() {
        std::sort(m_candidates.begin(), m_candidates.end(),
                  [](const Candidate& a, const Candidate& b) { return a.count > b.count; });
        std::vector<Matching> out;
        for (size_t c = 0; c < m_candidates.size() && c < 6; ++c) {
            Matching m = Refine(m_candidates[c].motion);
            if (!m.fit.Ok()) {
                continue;
            }
            const bool known = std::any_of(out.begin(), out.end(), [&](const Matching& o) {
                return SameMotion(o.fit.motion, m.fit.motion);
            });
            if (!known) {
                out.push_back(std::move(m));
            }
        }
        std::stable_sort(out.begin(), out.end(), [](const Matching& a, const Matching& b) {
            return a.pairs.size() > b.pairs.size();
        });
        return out;
    }

private:
    size_t BasesNeeded(size_t base) const {
        if (m_nBest < 3) {
            return SIZE_MAX;
        }
        const double w = static_cast<double>(m_nBest) / static_cast<double>(m_validSource.size());
        const double good = std::pow(w, static_cast<double>(base));
        if (good >= 1.0) {
            return 0;
        }
        return static_cast<size_t>(std::ceil(std::log(1.0 - kConfidence) / std::log1p(-good)));
    }

    // Bases are drawn until one of only inliers has been drawn with this
    // probability (given the best inlier share so far), at most kMaxBases.
    static constexpr double kConfidence = 0.9999;
    // Each base vertex is paired with at most this many reference vertices
    // at about the right distance (the nearest to it): a scene of equal
    // spacings (a grid) or a tight cluster makes those lists long, and the
    // tuples grow as their product.
    static constexpr std::ptrdiff_t kMaxCandidatesPerPoint = 8;
    // Motions tried, per base and in all.
    static constexpr size_t kMaxHypothesesPerBase = 1000;
    static constexpr size_t kMaxTuplesPerBase = 100000;
    static constexpr size_t kMaxHypotheses = 400000;
    // Vertex comparisons while scoring motions, in all: a scene of many
    // lookalike motions (a grid) passes the quick look each time, and in a
    // tight cluster every lookup compares every vertex.
    static constexpr size_t kMaxComparisons = 30000000;

    // The part of [first, last) (sorted by distance) nearest to distance d,
    // at most kMaxCandidatesPerPoint entries.
    static std::pair<const DistanceIndex::Entry*, const DistanceIndex::Entry*>
    Nearest(std::pair<const DistanceIndex::Entry*, const DistanceIndex::Entry*> range, double d) {
        auto [first, last] = range;
        if (last - first <= kMaxCandidatesPerPoint) {
            return range;
        }
        const auto* mid =
            std::lower_bound(first, last, DistanceIndex::Entry{static_cast<float>(d), 0});
        const auto* lo = std::max(first, mid - kMaxCandidatesPerPoint / 2);
        const auto* hi = std::min(last, lo + kMaxCandidatesPerPoint);
        lo = std::max(first, hi - kMaxCandidatesPerPoint);
        return {lo, hi};
    }

    bool DrawBase(size_t base, std::array<std::uint32_t, 4>& b) {
        const size_t n = m_validSource.size();
        std::uniform_int_distribution<size_t> pick(0, n - 1);
        // Well-spread bases first; in a scene smaller than that, any base.
        for (int attempt = 0; attempt < 200; ++attempt) {
            bool ok = true;
            for (size_t k = 0; k < base && ok; ++k) {
                b[k] = m_validSource[pick(m_rng)];
                for (size_t l = 0; l < k && ok; ++l) {
                    ok = b[l] != b[k] &&
                         (attempt >= 150 ||
                          Distance(m_source[b[l]], m_source[b[k]]) >= 4.0 * m_dTolerance);
                }
            }
            if (!ok) {
                continue;
            }
            const CPoint3D u = m_source[b[1]] - m_source[b[0]];
            const CPoint3D v = m_source[b[2]] - m_source[b[0]];
            if (Cross(u, v).Length() > 0.2 * u.Length() * v.Length()) {
                return true;
            }
        }
        return false;
    }

    void TryBase(size_t base, const std::array<std::uint32_t, 4>& b) {
        const double tol = m_dTolerance;
        double d[4][4] = {};
        for (size_t x = 0; x < base; ++x) {
            for (size_t y = 0; y < base; ++y) {
                d[x][y] = Distance(m_source[b[x]], m_source[b[y]]);
            }
        }
        std::array<std::uint32_t, 4> r{};
        const size_t before = m_nHypotheses;
        size_t tuples = 0; // reference tuples looked at for this base
        for (const std::uint32_t j : m_validReference) {
            if (m_nHypotheses - before >= kMaxHypothesesPerBase || tuples >= kMaxTuplesPerBase) {
                return;
            }
            if (m_nHypotheses >= kMaxHypotheses || m_grid.Visited() >= kMaxComparisons ||
                std::chrono::steady_clock::now() > m_deadline) {
                m_bStoppedEarly = true;
                return;
            }
            r[0] = j;
            const auto [k0, k1] = Nearest(m_distances.Around(j, d[0][1], tol), d[0][1]);
            const auto [l0, l1] = Nearest(m_distances.Around(j, d[0][2], tol), d[0][2]);
            for (auto k = k0; k != k1; ++k) {
                r[1] = k->index;
                for (auto l = l0; l != l1; ++l) {
                    ++tuples;
                    r[2] = l->index;
                    if (r[2] == r[1] || std::fabs(m_distances.At(r[1], r[2]) - d[1][2]) > tol) {
                        continue;
                    }
                    if (base == 3) {
                        TryHypothesis(base, b, r);
                        continue;
                    }
                    const auto [m0, m1] = Nearest(m_distances.Around(j, d[0][3], tol), d[0][3]);
                    for (auto m = m0; m != m1; ++m) {
                        ++tuples;
                        r[3] = m->index;
                        if (r[3] == r[1] || r[3] == r[2] ||
                            std::fabs(m_distances.At(r[1], r[3]) - d[1][3]) > tol ||
                            std::fabs(m_distances.At(r[2], r[3]) - d[2][3]) > tol) {
                            continue;
                        }
                        TryHypothesis(base, b, r);
                    }
                }
            }
        }
    }

    void TryHypothesis(size_t base, const std::array<std::uint32_t, 4>& b,
                       const std::array<std::uint32_t, 4>& r) {
        if (m_bStoppedEarly || m_grid.Visited() >= kMaxComparisons) {
            m_bStoppedEarly = true;
            return;
        }
        ++m_nHypotheses;
        std::vector<CPoint3D> s(base);
        std::vector<CPoint3D> t(base);
        for (size_t k = 0; k < base; ++k) {
            s[k] = m_source[b[k]];
            t[k] = m_reference[r[k]];
        }
        const LeastSquaresResult fit = RegisterLeastSquares(s, t);
        // Equal distances also fit a mirror image, which no rotation
        // reaches: its residuals give it away.
        if (!fit.Ok() ||
            *std::max_element(fit.residualsM.begin(), fit.residualsM.end()) > m_dTolerance) {
            return;
        }
        // A quick look at a few vertices turns most wrong motions away.
        constexpr size_t kProbe = 16;
        const size_t probe = std::min(kProbe, m_order.size());
        const double need = 0.4 * static_cast<double>(probe) * static_cast<double>(m_nBest) /
                            static_cast<double>(m_order.size());
        size_t count = 0;
        for (size_t k = 0; k < m_order.size(); ++k) {
            if (k == probe && static_cast<double>(count) < need) {
                return;
            }
            if (m_grid.Nearest(fit.motion.Apply(m_source[m_order[k]]))) {
                ++count;
            }
        }
        if (count < 3) {
            return;
        }
        m_nBest = std::max(m_nBest, count);
        Remember({fit.motion, count});
    }

    void Remember(const Candidate& c) {
        for (Candidate& known : m_candidates) {
            if (SameMotion(known.motion, c.motion)) {
                if (c.count > known.count) {
                    known = c;
                }
                return;
            }
        }
        m_candidates.push_back(c);
        if (m_candidates.size() > 64) {
            std::sort(m_candidates.begin(), m_candidates.end(),
                      [](const Candidate& a, const Candidate& b) { return a.count > b.count; });
            m_candidates.resize(32);
        }
    }

    // Two motions are the same when they move the source vertices to
    // places within twice the tolerance of each other (root mean square).
    bool SameMotion(const RigidMotion& a, const RigidMotion& b) const {
        const size_t n = std::min<size_t>(m_order.size(), 64);
        double sum2 = 0.0;
        for (size_t k = 0; k < n; ++k) {
            const CPoint3D& p = m_source[m_order[k]];
            const double e = Distance(a.Apply(p), b.Apply(p));
            sum2 += e * e;
        }
        return std::sqrt(sum2 / static_cast<double>(n)) <= 2.0 * m_dTolerance;
    }

    // Each source vertex to the nearest reference vertex within the
    // tolerance, one to one (a reference vertex claimed twice goes to the
    // nearer claimant).
    std::vector<IndexPair> Match(const RigidMotion& motion) const {
        std::vector<std::optional<ReferenceGrid::Hit>> hits(m_source.size());
        std::unordered_map<std::uint32_t, std::uint32_t> owner;
        for (const std::uint32_t i : m_validSource) {
            hits[i] = m_grid.Nearest(motion.Apply(m_source[i]));
            if (!hits[i]) {
                continue;
            }
            const auto [it, inserted] = owner.emplace(hits[i]->index, i);
            if (!inserted && hits[i]->distanceM < hits[it->second]->distanceM) {
                it->second = i;
            }
        }
        std::vector<IndexPair> pairs;
        for (const std::uint32_t i : m_validSource) {
            if (hits[i] && owner.at(hits[i]->index) == i) {
                pairs.push_back({i, hits[i]->index});
            }
        }
        return pairs;
    }

    LeastSquaresResult Fit(const std::vector<IndexPair>& pairs) const {
        std::vector<CPoint3D> s;
        std::vector<CPoint3D> t;
        for (const IndexPair& p : pairs) {
            s.push_back(m_source[p.source]);
            t.push_back(m_reference[p.reference]);
        }
        return RegisterLeastSquares(s, t);
    }

    // Alternates matching and least squares until the pairs no longer
    // change: then every pair is within the tolerance under its own fit.
    Matching Refine(const RigidMotion& start) const {
        Matching m;
        m.pairs = Match(start);
        for (int round = 0; round < 30; ++round) {
            m.fit = Fit(m.pairs);
            if (!m.fit.Ok()) {
                return m;
            }
            std::vector<IndexPair> next = Match(m.fit.motion);
            if (next == m.pairs) {
                return m;
            }
            m.pairs = std::move(next);
        }
        // Still moving: keep the pairs the last fit agrees with.
        std::vector<IndexPair> kept;
        for (size_t k = 0; k < m.pairs.size(); ++k) {
            if (m.fit.Ok() && m.fit.residualsM[k] <= m_dTolerance) {
                kept.push_back(m.pairs[k]);
            }
        }
        m.pairs = std::move(kept);
        m.fit = Fit(m.pairs);
        return m;
    }

    const std::vector<CPoint3D>& m_source;
    const std::vector<CPoint3D>& m_reference;
    const std::vector<std::uint32_t>& m_validSource;
    double m_dTolerance;
    ReferenceGrid m_grid;
    DistanceIndex m_distances;
    const std::vector<std::uint32_t>& m_validReference;
    std::mt19937 m_rng;
    std::vector<std::uint32_t> m_order; // the valid source vertices, shuffled
    std::vector<Candidate> m_candidates;
    size_t m_nBest = 0;
    size_t m_nHypotheses = 0;
    bool m_bStoppedEarly = false;
    std::chrono::steady_clock::time_point m_deadline;
};

std::vector<std::uint32_t> FiniteIndices(const std::vector<CPoint3D>& points) {
    std::vector<std::uint32_t> out;
    for (size_t i = 0; i < points.size(); ++i) {
        if (IsFinite(points[i])) {
            out.push_back(static_cast<std::uint32_t>(i));
        }
    }
    return out;
}

} // namespace

double DefaultCorrespondenceToleranceM(const std::vector<CPoint3D>& source,
                                       const std::vector<CPoint3D>& reference) {
    std::vector<double> ranges;
    for (const auto* list : {&source, &reference}) {
        for (const CPoint3D& p : *list) {
            const double r = p.Length();
            if (std::isfinite(r)) {
                ranges.push_back(r);
            }
        }
    }
    if (ranges.empty()) {
        return 0.05;
    }
    const auto mid = ranges.begin() + static_cast<std::ptrdiff_t>(ranges.size() / 2);
    std::nth_element(ranges.begin(), mid, ranges.end());
    return std::clamp(0.03 * *mid, 0.05, 2.0);
}

CorrespondenceResult FindCorrespondences(const std::vector<CPoint3D>& source,
                                         const std::vector<CPoint3D>& reference,
                                         const CorrespondenceOptions& options) {
    CorrespondenceResult res;
    const bool given =
        options.toleranceM && std::isfinite(*options.toleranceM) && *options.toleranceM > 0.0;
    res.toleranceM =
        given ? *options.toleranceM : DefaultCorrespondenceToleranceM(source, reference);
    if (given && (res.toleranceM < kMinCorrespondenceToleranceM ||
                  res.toleranceM > kMaxCorrespondenceToleranceM)) {
        res.status = CorrespondenceResult::Status::kBadTolerance;
        res.message =
            StrFormat("Unable to find vertex pairs with a tolerance of %g m: give one "
                      "from %g m to %g m",
                      res.toleranceM, kMinCorrespondenceToleranceM, kMaxCorrespondenceToleranceM);
        return res;
    }

    const std::vector<std::uint32_t> validSource = FiniteIndices(source);
    const std::vector<std::uint32_t> validReference = FiniteIndices(reference);
    if (validSource.size() < 3 || validReference.size() < 3) {
        res.status = CorrespondenceResult::Status::kTooFewVertices;
        res.message = StrFormat("Unable to find vertex pairs: the source file has %zu vertices and "
                                "the reference file %zu, at least 3 each are needed",
                                validSource.size(), validReference.size());
        return res;
    }
    if (source.size() > kMaxCorrespondenceVertices ||
        reference.size() > kMaxCorrespondenceVertices) {
        res.status = CorrespondenceResult::Status::kTooManyVertices;
        res.message = StrFormat("Unable to find vertex pairs automatically in files of more than "
                                "%zu vertices; give the pairs instead",
                                kMaxCorrespondenceVertices);
        return res;
    }

    Search search(source, reference, validSource, validReference, res.toleranceM, options.seed);
    search.Run(options.timeLimit);
    res.stoppedEarly = search.StoppedEarly();
    std::vector<Matching> found = search.Refined();
    if (found.empty() || found.front().pairs.size() < 3) {
        res.status = CorrespondenceResult::Status::kTooFewPairs;
        res.message = StrFormat("Unable to find vertex pairs: fewer than 3 vertices agree on one "
                                "motion within %.3f m",
                                res.toleranceM);
        if (res.stoppedEarly) {
            res.message += " (the search was stopped at its limit of work; the vertices look "
                           "too much alike: give the pairs instead)";
        }
        return res;
    }
    res.bestCount = found.front().pairs.size();
    if (found.size() > 1) {
        res.runnerUpCount = found[1].pairs.size();
    }
    if (res.runnerUpCount >= 3 && static_cast<double>(res.runnerUpCount) >=
                                      options.ambiguityShare * static_cast<double>(res.bestCount)) {
        res.status = CorrespondenceResult::Status::kAmbiguous;
        res.message = StrFormat("Unable to find vertex pairs: two different motions fit about "
                                "equally well (%zu and %zu pairs); the scene looks symmetric, "
                                "give the pairs instead",
                                res.bestCount, res.runnerUpCount);
        return res;
    }
    res.pairs = std::move(found.front().pairs);
    res.fit = std::move(found.front().fit);
    res.status = CorrespondenceResult::Status::kFound;
    return res;
}
