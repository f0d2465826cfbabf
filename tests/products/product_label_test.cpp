// The keyword label parsers: the ODL syntax real PDS3 labels use and the
// VICAR KEY=value run, on real labels and on short labels built around one
// trap each.
#include "ProductFixtures.h"
#include "products/ProductLabel.h"
#include "products/ProductReader.h"

#include <gtest/gtest.h>

using namespace product_test;

namespace {

ProductLabel Parse(const std::string& text) {
    const LabelParseResult r = ParseOdlLabel(text);
    EXPECT_TRUE(r.ok) << r.message;
    return r.label;
}

std::vector<double> NumbersOf(const ProductLabel& l, const char* group, const char* key) {
    const LabelValue* v = l.Find(group, key);
    EXPECT_NE(v, nullptr) << group << "." << key;
    if (v == nullptr) {
        return {};
    }
    const auto n = v->Numbers();
    EXPECT_TRUE(n.has_value()) << group << "." << key;
    return n.value_or(std::vector<double>{});
}

} // namespace

TEST(OdlLabel, TheRealMerEdrLabelWithCrLfLinesGivesItsModelPoseAndImageObject) {
    const std::string text = ReadFixture("2n292280938effb100p0703l0m1.lbl");
    const LabelParseResult r = ParseOdlLabel(text + "LBLSIZE=14336  FORMAT='HALF'");
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.endOffset, text.size()) << "the label ends after its END line";
    const ProductLabel& l = r.label;
    EXPECT_EQ(l.Find("IMAGE", "LINES")->Integer(), 1024);
    // LINES of a subframe request is not the image size.
    EXPECT_EQ(l.Find("THUMBNAIL_REQUEST_PARMS", "LINES")->Integer(), 64);
    EXPECT_EQ(l.Find("IMAGE", "SAMPLE_BIT_MASK")->Integer(), 4095);
    EXPECT_EQ(NumbersOf(l, "GEOMETRIC_CAMERA_MODEL", "MODEL_COMPONENT_6"),
              (std::vector<double>{0.019876, -0.014281, 0.020876}));
    EXPECT_EQ(l.Find("", "PRODUCER_INSTITUTION_NAME")->text,
              "MULTIMISSION IMAGE PROCESSING SUBSYSTEM, JET PROPULSION LAB")
        << "quoted text over two lines folds into one";
    const LabelValue* angles = l.Find("PMA_ARTICULATION_STATE", "ARTICULATION_DEVICE_ANGLE");
    ASSERT_EQ(angles->items.size(), 6u);
    EXPECT_EQ(angles->items[5].unit, "rad");
    EXPECT_EQ(angles->items[5].Number(), -0.296701);
    EXPECT_TRUE(l.Find("INSTRUMENT_STATE_PARMS", "SUN_LINE")->IsNull());
    EXPECT_FALSE(l.Find("INSTRUMENT_STATE_PARMS", "SUN_LINE")->Number().has_value());
    EXPECT_EQ(l.Find("", "^IMAGE")->Integer(), 21);
    // A list continued with a comma at the start of the next line.
    EXPECT_EQ(l.Find("INSTRUMENT_STATE_PARMS", "INSTRUMENT_TEMPERATURE_NAME")->items.size(), 9u);
    EXPECT_EQ(l.Find("COMPRESSION_PARMS", "INST_CMPRS_SEG_FIRST_LINE")->items.size(), 32u);
}

TEST(OdlLabel, EverySyntaxTrapOfRealLabelsReadsAsTheSameValues) {
    const std::string text = "PDS_VERSION_ID=PDS3\r\n"
                             "/* a comment, with = and ( inside */\r\n"
                             "record_bytes=2048\r\n"
                             "MSL:LOCAL_MEAN_SOLAR_TIME = \"Sol-00152M11:27:33.546\"\r\n"
                             "^IMAGE = (\"F.IMG\", 3 <BYTES>)\r\n"
                             "CHECKSUM = 1.29162e+09\r\n"
                             "THREE = 3.\r\n"
                             "MASK = 16#0FFF#\r\n"
                             "NEGATIVE_BASED = -2#101#\r\n"
                             "SYMBOL = 'ROVER_NAV_FRAME'\r\n"
                             "DATE = 2009-04-06T08:48:13.468\r\n"
                             "NEXT_LINE =\r\n"
                             "      \"023_001.dat\"\r\n"
                             "GROUP = A\r\n"
                             "  V = (1 <m>, 2 <m>,\r\n"
                             "3 <m>   )\r\n"
                             "  MIXED = (\"C\",A,1.5,\"N/A\")\r\n"
                             "  SET = {X, Y}\r\n"
                             "  NESTED = ((1,2),(3,4))\r\n"
                             "  SCALAR_UNIT = 45.1766 <deg>\r\n"
                             "  NUMERIC_NA = \"N/A\"\r\n"
                             "  UNKNOWN = UNK\r\n"
                             "END_GROUP\r\n"
                             "OBJECT = IMAGE\r\n"
                             "  GROUP = INNER\r\n"
                             "    V = 7\r\n"
                             "  END_GROUP = INNER\r\n"
                             "  lines = 9\r\n"
                             "END_OBJECT\r\n"
                             "GROUP = B\r\n"
                             "  V = (4,5,6)\r\n"
                             "END_GROUP = B\r\n"
                             "END\r\n"
                             "PADDING_THAT_IS_NOT_A = LABEL (((\r\n";
    const LabelParseResult r = ParseOdlLabel(text);
    ASSERT_TRUE(r.ok) << r.message;
    const ProductLabel& l = r.label;
    EXPECT_EQ(l.Find("", "RECORD_BYTES")->Integer(), 2048) << "keys are case-insensitive";
    EXPECT_EQ(l.Find("", "msl:local_mean_solar_time")->text, "Sol-00152M11:27:33.546");
    const LabelValue* ptr = l.Find("", "^IMAGE");
    ASSERT_EQ(ptr->items.size(), 2u);
    EXPECT_TRUE(ptr->items[0].quoted);
    EXPECT_EQ(ptr->items[1].unit, "BYTES");
    EXPECT_EQ(l.Find("", "CHECKSUM")->Number(), 1.29162e+09);
    EXPECT_EQ(l.Find("", "THREE")->Number(), 3.0);
    EXPECT_EQ(l.Find("", "MASK")->Integer(), 4095);
    EXPECT_EQ(l.Find("", "NEGATIVE_BASED")->Integer(), -5);
    EXPECT_EQ(l.Find("", "SYMBOL")->text, "ROVER_NAV_FRAME");
    EXPECT_FALSE(l.Find("", "DATE")->Number().has_value()) << "a date is not a number";
    EXPECT_EQ(l.Find("", "NEXT_LINE")->text, "023_001.dat");
    EXPECT_EQ(NumbersOf(l, "A", "V"), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(l.Find("A", "V")->items[2].unit, "m");
    EXPECT_EQ(NumbersOf(l, "B", "V"), (std::vector<double>{4, 5, 6})) << "same key, other group";
    EXPECT_EQ(l.Find("IMAGE.INNER", "V")->Integer(), 7) << "nested blocks qualify their keys";
    EXPECT_EQ(l.Find("IMAGE", "LINES")->Integer(), 9) << "END_OBJECT without a name closes";
    EXPECT_EQ(l.Find("", "V"), nullptr);
    const LabelValue* mixed = l.Find("A", "MIXED");
    ASSERT_EQ(mixed->items.size(), 4u);
    EXPECT_FALSE(mixed->Numbers().has_value());
    EXPECT_TRUE(mixed->items[3].IsNull());
    EXPECT_EQ(l.Find("A", "SET")->kind, LabelValue::Kind::Set);
    EXPECT_EQ(l.Find("A", "NESTED")->items[1].items[0].Number(), 3.0);
    EXPECT_EQ(l.Find("A", "SCALAR_UNIT")->unit, "deg");
    EXPECT_FALSE(l.Find("A", "NUMERIC_NA")->Number().has_value());
    EXPECT_TRUE(l.Find("A", "UNKNOWN")->IsNull());
    EXPECT_EQ(text.substr(r.endOffset, 7), "PADDING") << "nothing after END is read";
    EXPECT_TRUE(l.HasGroup("INNER"));
}

TEST(OdlLabel, BrokenLabelsFailWithTheLineAndTheFaultInsteadOfAValue) {
    const struct {
        const char* text;
        const char* expect;
    } cases[] = {
        {"A = \"never closed\nEND\n", "unterminated quoted text"},
        {"A = (1,2\nEND\n", "line"},
        {"A = (1 2)\nEND\n", "',' or ')' expected"},
        {"GROUP = X\nA = 1\nEND\n", "END inside X"},
        {"GROUP = X\nA = 1\n", "ends inside X"},
        {"END_GROUP = X\nEND\n", "without an open block"},
        {"GROUP = X\nEND_GROUP = Y\nEND\n", "closes X"},
        {"A 1\nEND\n", "'=' expected after A"},
        {"A =\n", "ends where a value was expected"},
        {"= 3\nEND\n", "keyword was expected"},
        {"A = 'sym\nEND\n", "unterminated symbol"},
        {"A = 1 <m\nEND\n", "unterminated unit"},
    };
    for (const auto& c : cases) {
        const LabelParseResult r = ParseOdlLabel(c.text);
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_NE(r.message.find(c.expect), std::string::npos) << c.text << " -> " << r.message;
    }
    EXPECT_NE(ParseOdlLabel("\n\nA = (1,\n2\nEND\n").message.find("line 5"), std::string::npos);
    std::string deep(100, '(');
    EXPECT_NE(ParseOdlLabel("A = " + deep + "\nEND\n").message.find("nested too deep"),
              std::string::npos);
}

TEST(VicarLabel, TheRealMerHeaderGivesSystemItemsPropertyGroupsAndUnits) {
    std::string text = ReadFixture("2n295212876fflb1dnp1950l0m1.vicar");
    const LabelParseResult r = ParseVicarLabel(text);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.endOffset, 14336u);
    const ProductLabel& l = r.label;
    EXPECT_EQ(l.Find("", "NL")->Integer(), 1024);
    EXPECT_EQ(l.Find("", "FORMAT")->text, "HALF");
    EXPECT_EQ(l.Find("", "INTFMT")->text, "HIGH");
    EXPECT_EQ(l.Find("GEOMETRIC_CAMERA_MODEL", "MODEL_TYPE")->text, "CAHV");
    EXPECT_EQ(NumbersOf(l, "GEOMETRIC_CAMERA_MODEL", "MODEL_COMPONENT_2"),
              (std::vector<double>{0.657934, -0.0669081, 0.750098}));
    EXPECT_EQ(NumbersOf(l, "ROVER_COORDINATE_SYSTEM", "ORIGIN_OFFSET_VECTOR"),
              (std::vector<double>{-18.2, 2.68595, -0.731151}));
    EXPECT_EQ(l.Find("INSTRUMENT_STATE_PARMS", "AZIMUTH_FOV")->unit, "deg");
    EXPECT_EQ(l.Find("OBSERVATION_REQUEST_PARMS", "INSTRUMENT_COORDINATE")->items[2].unit, "m");
    EXPECT_EQ(l.Find("IMAGE_DATA", "SAMPLE_BIT_MASK")->Integer(), 4095);
    EXPECT_EQ(l.Find("SUBFRAME_REQUEST_PARMS", "LINES")->Integer(), 1024);
    EXPECT_EQ(l.Find("", "TASK"), nullptr) << "history tasks are groups, not items";
    EXPECT_TRUE(l.HasGroup("TASK:MARSCAHV"));
}

TEST(VicarLabel, QuotesStopsAndBrokenRunsAreHandled) {
    const LabelParseResult quoted =
        ParseVicarLabel("LBLSIZE=80  A='it''s'  B=(1,2)  C=''" + std::string(20, '\0') + "D=1");
    ASSERT_TRUE(quoted.ok) << quoted.message;
    EXPECT_EQ(quoted.label.Find("", "A")->text, "it's");
    EXPECT_EQ(quoted.label.Find("", "B")->items.size(), 2u);
    EXPECT_TRUE(quoted.label.Find("", "C")->IsNull());
    EXPECT_EQ(quoted.label.Find("", "D"), nullptr) << "a NUL ends the label";
    // Only LBLSIZE bytes are the label.
    const LabelParseResult bounded = ParseVicarLabel("LBLSIZE=20          X=1 Y=2");
    ASSERT_TRUE(bounded.ok);
    EXPECT_EQ(bounded.label.Find("", "X"), nullptr);
    for (const char* bad : {"LBLSIZE=x", "LBLSIZE=0", "LBLSIZE=100 A='open", "LBLSIZE=100 A=(1,2",
                            "LBLSIZE=100 NOEQUALS", "NOTVICAR=1"}) {
        const LabelParseResult r = ParseVicarLabel(bad);
        EXPECT_FALSE(r.ok) << bad;
        EXPECT_FALSE(r.message.empty()) << bad;
    }
}

TEST(LabelModel, CahvoreComponentsNamedByIdAndFramesAndPosesAreCheckedNotGuessed) {
    const std::string cahvore =
        "GROUP = GEOMETRIC_CAMERA_MODEL_PARMS\n"
        "  MODEL_TYPE = \"CAHVORE\"\n"
        "  MODEL_COMPONENT_ID = (C,A,H,V,O,R,E,T,P)\n"
        "  MODEL_COMPONENT_1 = (1,2,3)\n  MODEL_COMPONENT_2 = (1,0,0)\n"
        "  MODEL_COMPONENT_3 = (0,1,0)\n  MODEL_COMPONENT_4 = (0,0,1)\n"
        "  MODEL_COMPONENT_5 = (1,0,0)\n  MODEL_COMPONENT_6 = (0.1,0.2,0.3)\n"
        "  MODEL_COMPONENT_7 = (0.4,0.5,0.6)\n  MODEL_COMPONENT_8 = 3\n"
        "  MODEL_COMPONENT_9 = 0.37\n"
        "  REFERENCE_COORD_SYSTEM_NAME = \"ROVER_NAV_FRAME\"\n"
        "  REFERENCE_COORD_SYSTEM_INDEX = (5,10,0)\n"
        "END_GROUP\n";
    const std::string pose = "GROUP = ROVER_COORD_SYSTEM_PARMS\n"
                             "  COORDINATE_SYSTEM_INDEX = (5,10,0)\n"
                             "  ORIGIN_OFFSET_VECTOR = (1.5,2.5,-0.5)\n"
                             "  ORIGIN_ROTATION_QUATERNION = (0.6,0,0,0.8)\n"
                             "  REFERENCE_COORD_SYSTEM_NAME = SITE_FRAME\n"
                             "  REFERENCE_COORD_SYSTEM_INDEX = 5\n"
                             "END_GROUP\n";
    const ProductReadResult r = ModelFromLabel(Parse(cahvore + pose + "END\n"), "x.LBL");
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.product.model.type, ModelType::Cahvore);
    EXPECT_EQ(r.product.model.c, CPoint3D(1, 2, 3));
    EXPECT_EQ(r.product.model.e, CPoint3D(0.4, 0.5, 0.6));
    EXPECT_EQ(r.product.model.mtype, 3);
    EXPECT_EQ(r.product.model.mparm, 0.37);
    EXPECT_EQ(r.product.frame, "ROVER_NAV_FRAME");
    EXPECT_EQ(r.product.frameIndex, (std::vector<long long>{5, 10, 0}));
    ASSERT_TRUE(r.product.pose.has_value());
    EXPECT_EQ(r.product.pose->site, 5);
    EXPECT_EQ(r.product.pose->roverToSite.offset, CPoint3D(1.5, 2.5, -0.5));
    EXPECT_EQ(r.product.pose->roverToSite.rotation.m_ptVec.m_dZ, 0.8);

    auto failure = [&](const std::string& from, const std::string& to) {
        std::string text = cahvore + pose + "END\n";
        text.replace(text.find(from), from.size(), to);
        return ModelFromLabel(Parse(text), "x.LBL");
    };
    const ProductReadResult site = failure("\"ROVER_NAV_FRAME\"", "SITE_FRAME");
    EXPECT_FALSE(site.ok);
    EXPECT_NE(site.message.find("SITE_FRAME; only ROVER_FRAME, ROVER_NAV_FRAME and LANDER_FRAME"),
              std::string::npos);
    const ProductReadResult unknown = failure("\"CAHVORE\"", "PSPH");
    EXPECT_FALSE(unknown.ok);
    EXPECT_NE(unknown.message.find("unknown camera model type 'PSPH'"), std::string::npos);
    const ProductReadResult na = failure("(0.4,0.5,0.6)", "\"N/A\"");
    EXPECT_FALSE(na.ok);
    EXPECT_NE(na.message.find("MODEL_COMPONENT_7 (E) is not three numbers"), std::string::npos);
    EXPECT_FALSE(failure("MODEL_COMPONENT_8 = 3", "MODEL_COMPONENT_8 = 4").ok);
    EXPECT_FALSE(failure("  REFERENCE_COORD_SYSTEM_NAME = \"ROVER_NAV_FRAME\"\n", "").ok)
        << "a model without a frame is refused, not assumed to be in the rover frame";
    // A pose of another motion counter, or not a unit quaternion, is left out.
    EXPECT_FALSE(failure("COORDINATE_SYSTEM_INDEX = (5,10,0)", "COORDINATE_SYSTEM_INDEX = (5,11,0)")
                     .product.pose.has_value());
    EXPECT_FALSE(failure("(0.6,0,0,0.8)", "(0.6,0,0,0.9)").product.pose.has_value());
    // Counters far outside any integer type are refused, not converted.
    EXPECT_FALSE(failure("REFERENCE_COORD_SYSTEM_INDEX = (5,10,0)",
                         "REFERENCE_COORD_SYSTEM_INDEX = (5,1e300,0)")
                     .ok);
    EXPECT_FALSE(failure("REFERENCE_COORD_SYSTEM_INDEX = 5", "REFERENCE_COORD_SYSTEM_INDEX = 9e99")
                     .product.pose.has_value());
    EXPECT_FALSE(
        failure("(0.6,0,0,0.8)", "(\"N/A\",\"N/A\",\"N/A\",\"N/A\")").product.pose.has_value());
}
