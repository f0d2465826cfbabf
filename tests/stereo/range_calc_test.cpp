// The range calculation behind CALCULATE: fields, log entry, error sweep,
// chaining of the last position and the R-L vector.
#include "base/Messages.h"
#include "geometry/CameraModel.h"
#include "geometry/StereoIntersection.h"
#include "stereo/RangeCalc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

namespace {

const char* const kLeft = "/data/sol1/1N128287142EFF0300P1800L0M1.IMG";
const char* const kRight = "/data/sol1/1N128287142EFF0300P1800R0M1.IMG";

RangeCalcInput Navcam(double xL, double yL, double xR, double yR) {
    RangeCalcInput in;
    in.dLeftCol = xL;
    in.dLeftRow = yL;
    in.dRightCol = xR;
    in.dRightRow = yR;
    in.nCamLeft = 0;
    in.nCamRight = 1;
    in.sLeftFile = kLeft;
    in.sRightFile = kRight;
    return in;
}

// The error sweep worked out independently: the eight offset rows typed in
// again (columns by the pass sign, rows always +1), extremes over the runs
// that succeed.
struct Spread {
    double minR = DBL_MAX, maxR = -DBL_MAX;
    CPoint3D lo{DBL_MAX, DBL_MAX, DBL_MAX}, hi{-DBL_MAX, -DBL_MAX, -DBL_MAX};
    int failed = 0;
};

Spread ExpectedSpread(const RangeCalcInput& in) {
    const CameraModel l(in.nCamLeft);
    const CameraModel r(in.nCamRight);
    Spread s;
    for (const double sign : {-1.0, 1.0}) {
        const double rows[4][4] = {
            {sign, 1, 0, 0}, {sign, 1, sign, 1}, {0, 0, sign, 1}, {0, 0, 0, 0}};
        for (const auto& o : rows) {
            double range = 0;
            const CPoint3D p =
                StereoIntersect(l, r, in.b2D, in.dLeftCol + o[0], in.dLeftRow + o[1],
                                in.dRightCol + o[2], in.dRightRow + o[3], 0, 0, range);
            if (range == DBL_MAX) {
                ++s.failed;
                continue;
            }
            s.minR = std::min(s.minR, range);
            s.maxR = std::max(s.maxR, range);
            s.lo = {std::min(s.lo.m_dX, p.m_dX), std::min(s.lo.m_dY, p.m_dY),
                    std::min(s.lo.m_dZ, p.m_dZ)};
            s.hi = {std::max(s.hi.m_dX, p.m_dX), std::max(s.hi.m_dY, p.m_dY),
                    std::max(s.hi.m_dZ, p.m_dZ)};
        }
    }
    return s;
}

void ExpectSweepMatches(const RangeCalcInput& in, const RangeCalcResult& res) {
    const Spread s = ExpectedSpread(in);
    const double r = res.dRange;
    const CPoint3D& p = res.ptPosition;
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "Range[-%4.6lf,+%4.6lf]\nPosition X[-%4.6lf,+%4.6lf]\n"
                  "Position Y[-%4.6lf,+%4.6lf]\nPosition Z[-%4.6lf,+%4.6lf]",
                  r - s.minR, s.maxR - r, p.m_dX - s.lo.m_dX, s.hi.m_dX - p.m_dX,
                  p.m_dY - s.lo.m_dY, s.hi.m_dY - p.m_dY, p.m_dZ - s.lo.m_dZ, s.hi.m_dZ - p.m_dZ);
    EXPECT_EQ(res.strErrorSummary, buf);
    EXPECT_EQ(res.vertex.m_ptError,
              CPoint3D((s.hi.m_dX - s.lo.m_dX) / 2, (s.hi.m_dY - s.lo.m_dY) / 2,
                       (s.hi.m_dZ - s.lo.m_dZ) / 2));
    EXPECT_EQ(res.strErrorSummary.find("[--"), std::string::npos) << "a negative number";
    EXPECT_EQ(res.strErrorSummary.find("+-"), std::string::npos) << "a negative number";
}

} // namespace

TEST(RangeCalc, OpportunityNavcamPairFieldsAndLogEntry) {
    const RangeCalcResult res = CalculateRange(Navcam(512, 700, 480, 700));
    ASSERT_TRUE(res.bOk);
    EXPECT_EQ(res.strRange, "8.4674");
    EXPECT_EQ(res.strPos, "8.4670,0.0633,-0.0411");
    // From (0, 0, 0) the first distance is the range itself.
    EXPECT_EQ(res.strDistToLast, "8.4674");
    EXPECT_EQ(res.strAz, "-0.4");
    EXPECT_EQ(res.strEl, "-0.3");
    // One Navcam pixel spans about r times its angle.
    EXPECT_NEAR(res.dPixelSize, res.dRange * 0.0468677 * std::acos(-1.0) / 180, 1e-9);
    EXPECT_EQ(res.strPixelSize, "0.006926");
    EXPECT_EQ(res.sLogEntry,
              "\nImage Pair 1N128287142EFF0300P1800L0M1 1N128287142EFF0300P1800R0M1\n"
              "Range=8.4674\n"
              "Position=8.4670,0.0633,-0.0411\n"
              "Distance to Last=8.4674\n"
              "Azimuth=-0.4\n"
              "Elevation=-0.3\n"
              "Error Summary (+/- 1 pixel):\n"
              "Range[-0.296973,+0.302709]\n"
              "Position X[-0.296878,+0.302265]\n"
              "Position Y[-0.006542,+0.007262]\n"
              "Position Z[-0.052219,+0.044774]\n");
    EXPECT_EQ(res.leftMark, (ImagePoint{512, 700}));
    EXPECT_EQ(res.rightMark, (ImagePoint{480, 700}));
    EXPECT_EQ(res.vertex.m_ptPosition, res.ptPosition);
    EXPECT_EQ(res.ptNewLastPos, res.ptPosition);
    EXPECT_TRUE(res.vMessages.empty());
}

TEST(RangeCalc, ErrorSweepFollowsTheOffsetTableAndIgnoresFailedRuns) {
    // Well inside the overlap every run succeeds.
    RangeCalcInput in = Navcam(512, 700, 480, 700);
    ExpectSweepMatches(in, CalculateRange(in));
    in = Navcam(300, 420, 250, 425);
    in.b2D = true;
    ExpectSweepMatches(in, CalculateRange(in));
    // Nearly parallel rays: the main run succeeds, some perturbed runs cross
    // behind the cameras and must not widen the summary.
    in = Navcam(512, 700, 510, 700);
    ASSERT_GT(ExpectedSpread(in).failed, 0);
    const RangeCalcResult res = CalculateRange(in);
    ASSERT_TRUE(res.bOk);
    ExpectSweepMatches(in, res);
}

TEST(RangeCalc, FailureLeavesFieldsBlankAndLastPositionUnchanged) {
    RangeCalcInput in = Navcam(512, 700, 480, 700);
    const RangeCalcResult first = CalculateRange(in);
    ASSERT_TRUE(first.bOk);

    // Diverging rays, and a pixel that is not a number: both are failures.
    for (const double xR : {560.0, std::numeric_limits<double>::quiet_NaN()}) {
        RangeCalcInput bad = Navcam(480, 700, xR, 700);
        bad.ptLastPos = first.ptNewLastPos;
        const RangeCalcResult res = CalculateRange(bad);
        EXPECT_FALSE(res.bOk);
        EXPECT_EQ(res.strRange, "Error");
        EXPECT_EQ(res.strPos, "Error");
        EXPECT_EQ(res.strDistToLast, "");
        EXPECT_EQ(res.strPixelSize, "");
        EXPECT_EQ(res.strErrorSummary, "");
        EXPECT_EQ(res.strAz, "") << "no azimuth of the invalid point";
        EXPECT_EQ(res.strEl, "");
        EXPECT_EQ(res.sLogEntry, "");
        EXPECT_EQ(res.ptNewLastPos, first.ptNewLastPos);
    }

    // The next success measures from the last successful point; the same
    // pixels again give zero.
    in.ptLastPos = first.ptNewLastPos;
    EXPECT_EQ(CalculateRange(in).strDistToLast, "0.0000");
    RangeCalcInput other = Navcam(600, 650, 560, 655);
    other.ptLastPos = first.ptNewLastPos;
    const RangeCalcResult second = CalculateRange(other);
    ASSERT_TRUE(second.bOk);
    EXPECT_DOUBLE_EQ(second.dDistToLast, (second.ptPosition - first.ptPosition).Length());
}

TEST(RangeCalc, SolverMessagesAreCollectedNotShown) {
    CollectingMessageSink outer;
    ScopedMessageSink scope(&outer);
    RangeCalcInput in = Navcam(512, 700, 480, 700);
    in.nCamLeft = -1; // the default model: its rays cannot be solved
    const RangeCalcResult res = CalculateRange(in);
    EXPECT_FALSE(res.bOk);
    EXPECT_EQ(res.vMessages.size(), 9u) << "one left ray per intersection";
    EXPECT_TRUE(outer.m_vMessages.empty());
}

TEST(RangeCalc, RLVectorTextAndWhenItApplies) {
    EXPECT_EQ(ParseRLVector("1.5,2.0"), CPoint3D(1.5, 2.0, 0)); // 7 characters
    EXPECT_EQ(ParseRLVector("1,2,3"), CPoint3D());              // 6 or fewer: ignored
    EXPECT_EQ(ParseRLVector("100000"), CPoint3D());
    EXPECT_EQ(ParseRLVector("1.0,2.0,-3.5 m"), CPoint3D(1, 2, -3.5));
    EXPECT_EQ(ParseRLVector("1.5,abc,3.0"), CPoint3D(1.5, 0, 0)); // stops at the first misfit
    EXPECT_EQ(ParseRLVector("  -1.25 ,2,3"), CPoint3D(-1.25, 0, 0));
    EXPECT_EQ(ParseRLVector("Error"), CPoint3D());
    EXPECT_EQ(ParseRLVector("8.4670,0.0633,-0.0411"), CPoint3D(8.467, 0.0633, -0.0411));

    RangeCalcInput in = Navcam(512, 700, 480, 700);
    in.leftPose = CameraPose{};
    in.bRLVector = true;
    in.strRLVector = "0.0,0.5,0.0";
    // One record only: the plain intersection, silently.
    const RangeCalcResult oneRecord = CalculateRange(in);
    EXPECT_TRUE(oneRecord.bLeftRecord);
    EXPECT_FALSE(oneRecord.bRightRecord);
    EXPECT_EQ(oneRecord.strPos, CalculateRange(Navcam(512, 700, 480, 700)).strPos);

    in.rightPose = CameraPose{};
    const RangeCalcResult both = CalculateRange(in);
    ASSERT_TRUE(both.bRightRecord);
    in.bRLVector = false;
    const RangeCalcResult plain = CalculateRange(in);
    EXPECT_NE(both.strPos, plain.strPos);
    // A zero vector is the plain intersection.
    in.bRLVector = true;
    in.strRLVector = "0.0,0.0,0.0";
    EXPECT_EQ(CalculateRange(in).ptPosition, plain.ptPosition);
}

TEST(RangeCalc, BothPosesTurnThePointByTheHeadPointing) {
    RangeCalcInput in = Navcam(512, 700, 480, 700);
    in.leftPose = in.rightPose = CameraPose{20, 0, CQuat()};
    const RangeCalcResult res = CalculateRange(in);
    EXPECT_TRUE(res.bLeftRecord);
    EXPECT_TRUE(res.bRightRecord);
    // Both poses present: the heads' pointing turns the point toward the
    // right, by about the head azimuth (the cameras sit off the pivot).
    EXPECT_NEAR(res.dAzimuth, -0.428 + 20, 2.0);
}
