// The camera catalogue, the CAHVOR back-projection (pixel -> viewing ray) and
// the stereo intersection of two rays.
#pragma once

#include "geometry/ImageRecord.h"
#include "geometry/Point3D.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Position of a camera in the catalogue, 0..13; -1 for none.
using CameraId = int;
inline constexpr int kCameraCount = 14;

// Catalogue name of a camera ("OppyNavL" ...), or nullptr for an unknown id.
const char* CameraName(CameraId id);
// Parses a camera given by catalogue name (case-sensitive) or by number 0..13;
// "none" and "-1" give -1. Anything else gives no value.
std::optional<CameraId> ParseCameraId(std::string_view text);

class CameraModel {
public:
    CPoint3D m_ptC;                        // centre (metres)
    CPoint3D m_ptA;                        // axis
    CPoint3D m_ptH;                        // horizontal image vector (pixels)
    CPoint3D m_ptV;                        // vertical image vector (pixels)
    CPoint3D m_ptO;                        // distortion axis
    CPoint3D m_ptR;                        // radial coefficients r0, r1, r2
    CQuat m_qModelPointing;                // head attitude for which C, A, H, V, O hold
    CPoint3D m_ptPivot;                    // point the camera head turns about
    const ImageRecord* m_pImage = nullptr; // database record of the image, not owned
    int m_nCameraId = -1;

    CameraModel() = default;
    explicit CameraModel(CameraId id) { LoadCatalogue(id); }

    // Fills the model from the catalogue; ids outside 0..13 change nothing but
    // the stored id.
    void LoadCatalogue(CameraId id);

    // Unit viewing direction of pixel (x = column, y = row) in the model frame.
    // Solver trouble is reported through ReportMessage; a direction is always
    // returned.
    CPoint3D PixelToRay(double x, double y) const;

    // Azimuth and elevation of a pixel's direction, degrees. Uses m_pImage
    // (head pointing and attitude) when set.
    void PixelAzEl(double x, double y, double& azimuth, double& elevation) const;
};

// Degrees per pixel of a camera; 0 for an unknown id.
double PixelAngleForCamera(CameraId id);

// Radial distortion polynomial f(mu) and its derivative, for coefficients R.
void RadialResidual(const CPoint3D& R, double mu, double tau, double& f, double& df);
// Safeguarded Newton solve of the distortion factor mu on [x1, x2] (retried on
// [x1, -x2]); reports "Unbracketed Root Error ..." or "Error: Maximum number of
// iterations exceeded" through ReportMessage.
double SolveRadialMu(const CPoint3D& R, double x1, double x2, double xacc, double tau);

// Signed azimuth of v about kZAxis from kXAxis, degrees.
double AzimuthDeg(const CPoint3D& v);

// Rotation taking model-frame directions into the vehicle frame:
// P * Inverse(m_qModelPointing), with P the image's pointing when
// applyPointing is set and the model has a record, the identity otherwise.
CQuat HeadRotation(const CameraModel& model, bool applyPointing);

// Camera centre and unit ray of one pixel in the Z-up output frame.
void CameraPoseRay(const CameraModel& model, double x, double y, bool applyPointing,
                   CPoint3D& centre, CPoint3D& direction);

// Midpoint of the closest approach of the lines pa + ta a and pb + tb b.
// Normalises a and b in place. Parallel lines give CPoint3D::Invalid() with
// ta = tb = 0.
CPoint3D ClosestApproach(CPoint3D& a, CPoint3D& b, const CPoint3D& pa, const CPoint3D& pb,
                         double& ta, double& tb);

// Intersects the rays of a left and a right pixel; returns the point in the
// Z-up output frame and its range from the origin. Failure (a crossing behind
// a camera, or parallel rays) gives CPoint3D::Invalid() and range DBL_MAX.
CPoint3D StereoIntersect(const CameraModel& left, const CameraModel& right, bool b2D, double xL,
                         double yL, double xR, double yR, double azCorrL, double azCorrR,
                         double& range);

// As StereoIntersect, with the right camera displaced by the R-L vector
// (right vehicle position minus left, output frame). Both models must carry
// records.
CPoint3D StereoIntersectRL(const CameraModel& left, const CameraModel& right, bool b2D,
                           const CPoint3D& rlVector, double xL, double yL, double xR, double yR,
                           double azCorrL, double azCorrR, double& range);

// Intersects many pixel pairs of one camera pair with the same options, as
// the one-pixel error sweep does. The ray of a pixel is cast once and reused
// when the same pixel comes again; solver messages raised while casting it
// are reported again on every reuse, so callers see exactly the messages of
// casting each ray afresh. Results equal StereoIntersect/StereoIntersectRL
// bit for bit. The models must outlive the intersector.
class CStereoIntersector {
public:
    // rlVector: null for StereoIntersect, else the R-L vector of
    // StereoIntersectRL (both models must then carry records).
    CStereoIntersector(const CameraModel& left, const CameraModel& right, bool b2D,
                       const CPoint3D* rlVector, double azCorrL, double azCorrR);

    CPoint3D Intersect(double xL, double yL, double xR, double yR, double& range);

private:
    struct Ray {
        double x = 0.0;
        double y = 0.0;
        CPoint3D centre;
        CPoint3D direction;
        std::vector<std::string> messages;
        bool used = false;
    };
    struct Side {
        const CameraModel* model = nullptr;
        CQuat turn;               // the azimuth correction
        std::array<Ray, 3> cache; // the error sweep uses three pixels a side
        unsigned next = 0;
    };
    const Ray& CastRay(Side& side, bool right, double x, double y);

    Side m_left;
    Side m_right;
    bool m_b2D;
    bool m_bApplyPointing;
    bool m_bHasRL;
    CPoint3D m_ptRL;
};
