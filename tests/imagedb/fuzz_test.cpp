// Random mutations of real store and query files (truncations, bit flips,
// splices, inserted tags and separators) through both readers, with a fixed
// seed so that a failure repeats. The files under corpus/ are inputs worth
// keeping: each is replayed as it is and used as a seed.
#include "fuzz/Invariants.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace {

std::vector<std::string> CorpusFiles(const std::string& sub) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(fs::path(RANVISTA_IMAGEDB_CORPUS) / sub)) {
        out.push_back(ReadBytes(e.path().string()));
    }
    return out;
}

std::string Hex(const std::string& bytes) {
    std::string out;
    for (const char ch : bytes) {
        static const char* digits = "0123456789abcdef";
        out += digits[static_cast<unsigned char>(ch) >> 4];
        out += digits[static_cast<unsigned char>(ch) & 15];
    }
    return out;
}

class Mutator {
public:
    Mutator(std::vector<std::string> seeds, std::string special, uint32_t seed)
        : m_seeds(std::move(seeds)), m_special(std::move(special)), m_rng(seed) {}

    std::string Next() {
        std::string s = Pick();
        const int steps = 1 + static_cast<int>(Below(4));
        for (int i = 0; i < steps; ++i) {
            switch (Below(6)) {
            case 0: // cut short
                s.resize(Below(s.size() + 1));
                break;
            case 1: // flip one bit
                if (!s.empty()) {
                    s[Below(s.size())] ^= static_cast<char>(1u << Below(8));
                }
                break;
            case 2: // a byte the reader cares about
                if (!s.empty()) {
                    s[Below(s.size())] = m_special[Below(m_special.size())];
                }
                break;
            case 3: { // splice: this one's head, another one's tail
                const std::string other = Pick();
                s = s.substr(0, Below(s.size() + 1)) + other.substr(Below(other.size() + 1));
                break;
            }
            case 4: { // repeat a piece
                const size_t at = Below(s.size() + 1);
                const size_t n = Below(s.size() - at + 1);
                s.insert(at, s.substr(at, n));
                break;
            }
            default: // remove a piece
                if (!s.empty()) {
                    const size_t at = Below(s.size());
                    s.erase(at, Below(s.size() - at) + 1);
                }
                break;
            }
        }
        return s;
    }

private:
    size_t Below(size_t n) {
        return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(m_rng);
    }
    std::string Pick() { return m_seeds[Below(m_seeds.size())]; }

    std::vector<std::string> m_seeds;
    std::string m_special;
    std::mt19937 m_rng;
};

void MutateAndCheck(const std::vector<std::string>& seeds, const std::string& special,
                    const std::function<std::string(const std::string&)>& check, int rounds) {
    for (const std::string& s : seeds) {
        ASSERT_EQ(check(s), "") << Hex(s);
    }
    Mutator mutator(seeds, special, 20240611);
    for (int i = 0; i < rounds; ++i) {
        const std::string input = mutator.Next();
        ASSERT_EQ(check(input), "") << "input " << i << ": " << Hex(input);
    }
}

} // namespace

TEST(Fuzz, StoreReaderHoldsUpUnderMutations) {
    ImageDatabase db;
    db.InsertRecord(MakeRecord("2n130012345eff0300p1800l0m1", 10.5, -3.25, 0.5, 0.5, 0.5, 0.5));
    db.InsertRecord(MakeRecord("a.b", 1, 2));
    db.InsertRecord(MakeRecord("\xE9t\xE9", -1, 1e300));
    TempDir dir;
    db.SetStorePath(dir / "ImgBinDat");
    ASSERT_TRUE(db.SaveStore());
    std::vector<std::string> seeds = CorpusFiles("store");
    seeds.push_back(ReadBytes(db.StorePath()));
    MutateAndCheck(seeds, std::string("\0\1\2\3\4\5\6\x7f\x80\xff", 10), fuzzcheck::CheckStoreBytes,
                   20000);
}

TEST(Fuzz, QueryReaderHoldsUpUnderMutations) {
    std::vector<std::string> seeds = CorpusFiles("query");
    seeds.push_back("a::1::2::::::::::::::1::0::0::0\n"
                    "/data/2N130012345EFF0300P1800L0M1.IMG::-3.5::4e1::x::y::z::w::v::u::"
                    "0.5::0.25:: 2 ::-8:trailing::junk\r\n"
                    " Spaced.Name.IMG ::abc::1e::::::::::::::2::0x10::inf::nan\n");
    MutateAndCheck(seeds, ":\n\r\\/.eE+-0 \t\xff", fuzzcheck::CheckQueryBytes, 20000);
}
