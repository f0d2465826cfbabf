// Seeded random mutations of real labels, records and small products
// (truncations, bit flips, splices, inserted delimiters) through every
// product reader: each must answer with a value or a message, never crash,
// hang or allocate beyond what the bytes describe. The seed is fixed so that
// a failure repeats.
#include "ProductFixtures.h"
#include "fuzz/ProductInvariants.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace product_test;

namespace {

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (const char ch : bytes.substr(0, 4096)) {
        out += digits[static_cast<unsigned char>(ch) >> 4];
        out += digits[static_cast<unsigned char>(ch) & 15];
    }
    return out;
}

class Mutator {
public:
    Mutator(std::vector<std::string> seeds, std::string special, std::uint32_t seed)
        : m_seeds(std::move(seeds)), m_special(std::move(special)), m_rng(seed) {}

    std::string Next() {
        std::string s = m_seeds[Below(m_seeds.size())];
        const int steps = 1 + static_cast<int>(Below(4));
        for (int i = 0; i < steps; ++i) {
            switch (Below(6)) {
            case 0:
                s.resize(Below(s.size() + 1));
                break;
            case 1:
                if (!s.empty()) {
                    s[Below(s.size())] ^= static_cast<char>(1u << Below(8));
                }
                break;
            case 2:
                if (!s.empty()) {
                    s[Below(s.size())] = m_special[Below(m_special.size())];
                }
                break;
            case 3: {
                const std::string& other = m_seeds[Below(m_seeds.size())];
                s = s.substr(0, Below(s.size() + 1)) + other.substr(Below(other.size() + 1));
                break;
            }
            case 4: {
                const std::size_t at = Below(s.size() + 1);
                s.insert(at, std::string(1 + Below(3), m_special[Below(m_special.size())]));
                break;
            }
            default:
                if (!s.empty()) {
                    const std::size_t at = Below(s.size());
                    s.erase(at, Below(std::min<std::size_t>(s.size() - at, 64)) + 1);
                }
                break;
            }
        }
        return s;
    }

private:
    std::size_t Below(std::size_t n) {
        return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(m_rng);
    }

    std::vector<std::string> m_seeds;
    std::string m_special;
    std::mt19937 m_rng;
};

void MutateAndCheck(const std::vector<std::string>& seeds, const std::string& special,
                    const std::function<std::string(const std::string&)>& check, int rounds) {
    for (const std::string& s : seeds) {
        ASSERT_EQ(check(s), "") << Hex(s);
    }
    Mutator mutator(seeds, special, 20261209);
    for (int i = 0; i < rounds; ++i) {
        const std::string input = mutator.Next();
        ASSERT_EQ(check(input), "") << "input " << i << ": " << Hex(input);
    }
}

const std::string kOdlSpecial = "=()\"{}<>,'#/*\n\r \t0123456789.-EN";

} // namespace

TEST(ProductFuzz, LabelParsersHoldUpUnderMutationsOfRealLabels) {
    const std::string mer = ReadFixture("2n292280938effb100p0703l0m1.lbl");
    std::vector<std::string> seeds = {
        mer.substr(0, 4000),
        mer.substr(8000, 3000) + "\r\nEND\r\n",
        // The camera model and pose groups, where a mutation reaches the model reader.
        mer.substr(mer.find("GROUP                             = GEOMETRIC_CAMERA_MODEL"), 2500) +
            "\r\nEND\r\n",
        MiniPds3("^IMAGE = (\"F.IMG\", 3 <BYTES>)", "  LINES = 2#101#\n"),
        ReadFixture("2n295212876fflb1dnp1950l0m1.vicar").substr(0, 3000),
        "LBLSIZE=400 " + ReadFixture("2n295212876fflb1dnp1950l0m1.vicar").substr(12000, 1500),
    };
    MutateAndCheck(seeds, kOdlSpecial, fuzzcheck::CheckLabelBytes, 6000);
}

TEST(ProductFuzz, RawJsonReaderHoldsUpUnderMutationsOfRealRecords) {
    std::vector<std::string> seeds = {
        ReadFixture("NLF_0670_0726421423_362ECM_N0320604NCAM08111_01_095J01-metadata.json"),
        ReadFixture("NRF_0731_0731848568_991ECM_N0361610NCAM12731_04_195J01-metadata.json"),
        R"J({"images": [{"imageid": "NLF_0670", "site": "3", "attitude": "(1,0,0,0)",
            "camera": {"camera_model_component_list": [[1,2,3],[1,0,0],[1,2,3],[1,2,3]]},
            "extended": {"xyz": "(1,2,3)", "dimension": "(10,10)", "scaleFactor": "UNK"}}]})J",
    };
    MutateAndCheck(seeds, "{}[]\",:;()0123456789.-eUNK \n", fuzzcheck::CheckRawJsonBytes, 6000);
}

TEST(ProductFuzz, Pds4ReaderHoldsUpUnderMutationsOfARealLabel) {
    const std::string xml = ReadFixture("m20_navcam_cahvore.xml");
    std::vector<std::string> seeds = {xml, xml.substr(0, xml.size() / 2)};
    MutateAndCheck(seeds, "<>/=\"&;:!?-0123456789.e ", fuzzcheck::CheckPds4Bytes, 1500);
}

TEST(ProductFuzz, WholeProductsWithMutatedLabelsAndDataNeverDecodeBeyondTheirBytes) {
    TempDir dir;
    const std::string image = "  LINES = 5\n  LINE_SAMPLES = 6\n  SAMPLE_TYPE = MSB_INTEGER\n"
                              "  SAMPLE_BITS = 16\n  BANDS = 1\n  SAMPLE_BIT_MASK = 2#111#\n";
    std::string vicar = "LBLSIZE=400  FORMAT='HALF' ORG='BSQ' NL=5 NS=6 NB=1 NBB=0 NLB=0 "
                        "RECSIZE=12 PROPERTY='GEOMETRIC_CAMERA_MODEL' MODEL_TYPE='CAHV' "
                        "MODEL_COMPONENT_1=(0,0,0) MODEL_COMPONENT_2=(1,0,0) "
                        "MODEL_COMPONENT_3=(2.5,100,0) MODEL_COMPONENT_4=(2,0,100) "
                        "REFERENCE_COORD_SYSTEM_NAME='ROVER_FRAME'";
    vicar.resize(400, ' ');
    const std::vector<std::string> seeds = {
        PadTo(MiniPds3("^IMAGE = 2", image), 1000) + Ramp16(6, 5),
        PadTo(MiniPds3("^IMAGE = 1001 <BYTES>", image), 1000) + Ramp16(6, 5),
        vicar + Ramp16(6, 5),
    };
    const std::string path = dir / "fuzz.IMG";
    MutateAndCheck(
        seeds, kOdlSpecial + "'",
        [&](const std::string& bytes) {
            WriteFile(path, bytes);
            return fuzzcheck::CheckProduct(ReadProduct(path));
        },
        400);
}
