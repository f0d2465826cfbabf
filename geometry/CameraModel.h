// A catalogue camera's CAHVOR model with the pose of the image it took, and
// the rays it casts into the vehicle and the Z-up output frame.
#pragma once

#include "geometry/CameraCatalogue.h"
#include "geometry/CameraPose.h"
#include "geometry/Point3D.h"

#include <optional>

class CameraModel {
public:
    CPoint3D m_ptC;                   // centre (metres)
    CPoint3D m_ptA;                   // axis
    CPoint3D m_ptH;                   // horizontal image vector (pixels)
    CPoint3D m_ptV;                   // vertical image vector (pixels)
    CPoint3D m_ptO;                   // distortion axis
    CPoint3D m_ptR;                   // radial coefficients r0, r1, r2
    CQuat m_qModelPointing;           // head attitude for which C, A, H, V, O hold
    CPoint3D m_ptPivot;               // point the camera head turns about
    std::optional<CameraPose> m_pose; // the image's pose, when it is known
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

    // Azimuth and elevation of a pixel's direction, degrees. Uses the pose
    // (head pointing and attitude) when there is one.
    void PixelAzEl(double x, double y, double& azimuth, double& elevation) const;
};

// Signed azimuth of v about kZAxis from kXAxis, degrees.
double AzimuthDeg(const CPoint3D& v);

// Rotation taking model-frame directions into the vehicle frame:
// P * Inverse(m_qModelPointing), with P the head pointing of the pose when
// applyPointing is set and the model has a pose, the identity otherwise.
CQuat HeadRotation(const CameraModel& model, bool applyPointing);

// Camera centre and unit ray of one pixel in the Z-up output frame.
void CameraPoseRay(const CameraModel& model, double x, double y, bool applyPointing,
                   CPoint3D& centre, CPoint3D& direction);
