// Stereo intersection of the rays of a left and a right pixel of two
// catalogue cameras.
#pragma once

#include "geometry/CameraModel.h"
#include "geometry/Point3D.h"

#include <array>
#include <string>
#include <vector>

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
// poses.
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
    // StereoIntersectRL (both models must then carry poses).
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
