#include "stereo/RangeCalc.h"

#include "base/Format.h"
#include "base/Messages.h"
#include "base/Paths.h"
#include "geometry/CameraModel.h"
#include "geometry/StereoIntersection.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>

namespace {

// Pixel offsets of the eight repeated intersections of the error sweep:
// left column, left row, right column, right row. A first pass with the
// columns moved by -1, a second with +1; rows always move by +1 when their
// image is moved; the last step of each pass repeats the marked pixels.
constexpr double kSweep[8][4] = {
    {-1, +1, 0, 0}, {-1, +1, -1, +1}, {0, 0, -1, +1}, {0, 0, 0, 0},
    {+1, +1, 0, 0}, {+1, +1, +1, +1}, {0, 0, +1, +1}, {0, 0, 0, 0},
};

// A range the intersection cannot have produced for a real crossing (the
// failure value DBL_MAX, an infinite range of parallel rays, not a number).
bool IsFailedRange(double range) {
    return !(range < DBL_MAX);
}

// Characters of a UTF-8 text (continuation bytes are not counted).
size_t CharacterCount(const std::string& text) {
    size_t n = 0;
    for (const char ch : text) {
        if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80) {
            ++n;
        }
    }
    return n;
}

struct Extremes {
    double maxRange = -DBL_MAX, minRange = DBL_MAX;
    CPoint3D max{-DBL_MAX, -DBL_MAX, -DBL_MAX};
    CPoint3D min{DBL_MAX, DBL_MAX, DBL_MAX};

    void Add(double range, const CPoint3D& p) {
        maxRange = std::max(maxRange, range);
        minRange = std::min(minRange, range);
        max = {std::max(max.m_dX, p.m_dX), std::max(max.m_dY, p.m_dY), std::max(max.m_dZ, p.m_dZ)};
        min = {std::min(min.m_dX, p.m_dX), std::min(min.m_dY, p.m_dY), std::min(min.m_dZ, p.m_dZ)};
    }
};

std::string Fixed(double v, int width, int precision) {
    std::string s;
    AppendFixed(s, v, width, precision);
    return s;
}

} // namespace

CPoint3D ParseRLVector(const std::string& text) {
    CPoint3D v;
    if (CharacterCount(text) > 6) {
        std::sscanf(text.c_str(), "%lf,%lf,%lf", &v.m_dX, &v.m_dY, &v.m_dZ);
    }
    return v;
}

namespace {

// The nine intersections and everything formatted from them, for any pair of
// cameras: intersect(xL, yL, xR, yR, range) gives the point and its range.
template <class Intersect>
void FinishCalculation(const RangeCalcInput& in, RangeCalcResult& res, Intersect&& intersect,
                       double pixelAngle, CollectingMessageSink& messages) {
    const std::string leftTitle = PathTitle(in.sLeftFile);
    const std::string rightTitle = PathTitle(in.sRightFile);

    double r = DBL_MAX;
    const CPoint3D p = intersect(in.dLeftCol, in.dLeftRow, in.dRightCol, in.dRightRow, r);

    Extremes ex;
    for (const auto& o : kSweep) {
        double range = DBL_MAX;
        const CPoint3D q = intersect(in.dLeftCol + o[0], in.dLeftRow + o[1], in.dRightCol + o[2],
                                     in.dRightRow + o[3], range);
        if (!IsFailedRange(range)) {
            ex.Add(range, q);
        }
    }

    res.vMessages = std::move(messages.m_vMessages);
    if (IsFailedRange(r)) {
        // The azimuth and elevation of the invalid point mean nothing: they
        // stay blank, like the other result fields.
        res.strRange = "Error";
        res.strPos = "Error";
        res.dRange = DBL_MAX;
        res.ptPosition = CPoint3D::Invalid();
        return;
    }

    const CPoint3D dir = p.Normalized();
    res.bOk = true;
    res.dRange = r;
    res.ptPosition = p;
    res.dAzimuth = -AzimuthDeg(dir);
    res.dElevation = 90.0 - AngleDeg(dir, kZAxis);
    res.dPixelSize = std::sqrt((1.0 - std::cos(kPi * pixelAngle / 180.0)) * r * 2.0 * r);
    res.dDistToLast = (p - in.ptLastPos).Length();
    res.ptNewLastPos = p;

    // The fields in their fixed formats: "%4.1lf" for the angles, "%6.4lf"
    // for range, position and distance, "%4.6lf" for the pixel size and the
    // error summary.
    res.strAz = Fixed(res.dAzimuth, 4, 1);
    res.strEl = Fixed(res.dElevation, 4, 1);
    res.strRange = Fixed(r, 6, 4);
    res.strPos = Fixed(p.m_dX, 6, 4);
    res.strPos += ',';
    AppendFixed(res.strPos, p.m_dY, 6, 4);
    res.strPos += ',';
    AppendFixed(res.strPos, p.m_dZ, 6, 4);
    res.strPixelSize = Fixed(res.dPixelSize, 4, 6);
    res.strDistToLast = Fixed(res.dDistToLast, 6, 4);
    // "Range[-%4.6lf,+%4.6lf]\nPosition X[-%4.6lf,+%4.6lf]\n..."
    std::string& sum = res.strErrorSummary;
    const auto pair = [&sum](const char* label, double below, double above) {
        sum += label;
        sum += "[-";
        AppendFixed(sum, below, 4, 6);
        sum += ",+";
        AppendFixed(sum, above, 4, 6);
        sum += ']';
    };
    res.dRangeSpreadBelow = r - ex.minRange;
    res.dRangeSpreadAbove = ex.maxRange - r;
    pair("Range", res.dRangeSpreadBelow, res.dRangeSpreadAbove);
    sum += '\n';
    pair("Position X", p.m_dX - ex.min.m_dX, ex.max.m_dX - p.m_dX);
    sum += '\n';
    pair("Position Y", p.m_dY - ex.min.m_dY, ex.max.m_dY - p.m_dY);
    sum += '\n';
    pair("Position Z", p.m_dZ - ex.min.m_dZ, ex.max.m_dZ - p.m_dZ);
    res.sLogEntry = "\nImage Pair " + leftTitle + " " + rightTitle + "\nRange=" + res.strRange +
                    "\nPosition=" + res.strPos + "\nDistance to Last=" + res.strDistToLast +
                    "\nAzimuth=" + res.strAz + "\nElevation=" + res.strEl +
                    "\nError Summary (+/- 1 pixel):\n" + res.strErrorSummary + "\n";
    res.leftMark = {in.dLeftCol, in.dLeftRow};
    res.rightMark = {in.dRightCol, in.dRightRow};
    res.vertex.m_ptPosition = p;
    res.vertex.m_ptError = {(ex.max.m_dX - ex.min.m_dX) / 2.0, (ex.max.m_dY - ex.min.m_dY) / 2.0,
                            (ex.max.m_dZ - ex.min.m_dZ) / 2.0};
}

} // namespace

RangeCalcResult CalculateRange(const RangeCalcInput& in) {
    RangeCalcResult res;
    res.ptNewLastPos = in.ptLastPos;

    CollectingMessageSink messages;
    ScopedMessageSink scope(&messages);

    if (!in.productProblem.empty()) {
        ReportMessage(in.productProblem);
        res.vMessages = std::move(messages.m_vMessages);
        res.strRange = "Error";
        res.strPos = "Error";
        res.dRange = DBL_MAX;
        res.ptPosition = CPoint3D::Invalid();
        return res;
    }

    if (in.leftProduct && in.rightProduct) {
        const ProductStereoPair pair(*in.leftProduct, *in.rightProduct, in.b2D, in.dAzCorrLeft,
                                     in.dAzCorrRight);
        res.bLeftRecord = in.leftProduct->pose.has_value();
        res.bRightRecord = in.rightProduct->pose.has_value();
        if (!pair.Problem().empty()) {
            ReportMessage(pair.Problem());
        }
        const double pixelAngle = pair.PixelAngleDeg(in.dLeftCol, in.dLeftRow);
        FinishCalculation(
            in, res,
            [&pair](double xL, double yL, double xR, double yR, double& range) {
                return pair.Intersect(xL, yL, xR, yR, range);
            },
            pixelAngle, messages);
        if (res.bOk) {
            double miss = 0.0;
            double range = 0.0;
            pair.Intersect(in.dLeftCol, in.dLeftRow, in.dRightCol, in.dRightRow, range, &miss);
            res.missDistance = miss;
            res.sitePosition = pair.SitePosition(res.ptPosition);
        }
        return res;
    }

    CameraModel left;
    CameraModel right;
    if (in.nCamLeft != -1) {
        left.LoadCatalogue(in.nCamLeft);
    }
    if (in.nCamRight != -1) {
        right.LoadCatalogue(in.nCamRight);
    }
    const double pixelAngle = PixelAngleForCamera(in.nCamLeft);
    left.m_pose = in.leftPose;
    right.m_pose = in.rightPose;
    res.bLeftRecord = left.m_pose.has_value();
    res.bRightRecord = right.m_pose.has_value();

    const CPoint3D rl = in.bRLVector ? ParseRLVector(in.strRLVector) : CPoint3D();
    const bool useRL = in.bRLVector && res.bLeftRecord && res.bRightRecord;
    // One intersector for the marked pixels and the whole sweep: each
    // distinct pixel's ray is cast once (the sweep uses three per side), and
    // its solver messages are repeated wherever the ray is used again.
    CStereoIntersector intersector(left, right, in.b2D, useRL ? &rl : nullptr, in.dAzCorrLeft,
                                   in.dAzCorrRight);
    FinishCalculation(
        in, res,
        [&intersector](double xL, double yL, double xR, double yR, double& range) {
            return intersector.Intersect(xL, yL, xR, yR, range);
        },
        pixelAngle, messages);
    return res;
}
