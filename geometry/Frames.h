// Coordinate frames of rover products: rotation matrices of scalar-first
// quaternions, frame poses chained and inverted, camera models moved between
// frames, and the change from the PDS vehicle frame (+X forward, +Y right,
// +Z down) to Ranvista's output frame (Z up).
#pragma once

#include "geometry/FramePose.h"
#include "geometry/ModelParameters.h"
#include "geometry/Point3D.h"
#include "geometry/Projection.h"

#include <array>
#include <optional>

// A 3x3 matrix by rows.
struct Matrix3 {
    std::array<CPoint3D, 3> rows;
};

CPoint3D operator*(const Matrix3& m, const CPoint3D& v);
Matrix3 operator*(const Matrix3& a, const Matrix3& b);
Matrix3 Transpose(const Matrix3& m);

// The rotation of q = (s, x, y, z):
// [[s²+x²−y²−z², 2(xy−sz), 2(xz+sy)], [2(xy+sz), s²−x²+y²−z², 2(yz−sx)],
//  [2(xz−sy), 2(yz+sx), s²−x²−y²+z²]], divided by |q|² so that a quaternion
// a little off unit length still gives a rotation. A zero or non-finite
// quaternion gives NaN entries: check poses with IsUsablePose.
Matrix3 RotationMatrix(const CQuat& q);

// Finite offset and rotation, and |q| within 0.9 to 1.1.
bool IsUsablePose(const FramePose& pose);

// p_ref = R(q)·p + offset, and back.
CPoint3D PointToReference(const FramePose& pose, const CPoint3D& pointInFrame);
CPoint3D PointFromReference(const FramePose& pose, const CPoint3D& pointInReference);
// Directions: rotation only.
CPoint3D VectorToReference(const FramePose& pose, const CPoint3D& vectorInFrame);
CPoint3D VectorFromReference(const FramePose& pose, const CPoint3D& vectorInReference);

// Chains two poses: the pose of an inner frame in the reference frame, from
// the inner frame's pose in a middle frame and the middle frame's pose in the
// reference (rotation middleInReference.rotation * innerInMiddle.rotation).
FramePose ComposePoses(const FramePose& middleInReference, const FramePose& innerInMiddle);
// The reference frame's pose in the given frame.
FramePose InversePose(const FramePose& pose);

// Moves a camera model rigidly with the body it is mounted on, from the body
// pose `initial` to the body pose `final` (both in one frame):
// C_f = R·(C_i − p_i) + p_f with R = R(q_f)·R(q_i)ᵀ; A, H, V and O rotate;
// R, E and the model type are unchanged. No value for an unusable pose.
std::optional<ModelParameters> MoveModel(const ModelParameters& model, const FramePose& initial,
                                         const FramePose& final);
// A model given in a frame, expressed in the frame's reference frame (the
// vehicle frame into the site frame with the rover's pose), and back.
std::optional<ModelParameters> ModelToReference(const ModelParameters& modelInFrame,
                                                const FramePose& frameInReference);
std::optional<ModelParameters> ModelFromReference(const ModelParameters& modelInReference,
                                                  const FramePose& frameInReference);

// Ranvista's output frame is the vehicle frame turned by the vehicle attitude
// (when there is one) and then with Y and Z flipped (a half turn about X), as
// CameraPoseRay places catalogue cameras: Z up, Y left.
CPoint3D OutputFromVehicle(const CPoint3D& pointInVehicle);
CPoint3D VehicleFromOutput(const CPoint3D& pointInOutput);
// With an attitude: FlipYZ(RotateVector(v, attitude)), the arithmetic of
// CameraPoseRay, so that a product model and a catalogue model with an
// equivalent record give the same numbers. Undone by VehicleFromOutputTurned
// for a unit attitude.
CPoint3D OutputFromVehicleTurned(const CPoint3D& pointInVehicle, const CQuat& attitude);
CPoint3D VehicleFromOutputTurned(const CPoint3D& pointInOutput, const CQuat& attitude);
// A ray of a model in the vehicle frame, in the output frame: origin and
// direction as OutputFromVehicleTurned places them (plain flip without an
// attitude).
Ray OutputRayFromVehicle(const Ray& rayInVehicle, const std::optional<CQuat>& attitude);
