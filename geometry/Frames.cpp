#include "geometry/Frames.h"

#include <cmath>

namespace {

bool Finite(const CPoint3D& p) {
    return std::isfinite(p.m_dX) && std::isfinite(p.m_dY) && std::isfinite(p.m_dZ);
}

} // namespace

CPoint3D operator*(const Matrix3& m, const CPoint3D& v) {
    return {Dot(m.rows[0], v), Dot(m.rows[1], v), Dot(m.rows[2], v)};
}

Matrix3 Transpose(const Matrix3& m) {
    const auto& r = m.rows;
    return {{CPoint3D(r[0].m_dX, r[1].m_dX, r[2].m_dX), CPoint3D(r[0].m_dY, r[1].m_dY, r[2].m_dY),
             CPoint3D(r[0].m_dZ, r[1].m_dZ, r[2].m_dZ)}};
}

Matrix3 operator*(const Matrix3& a, const Matrix3& b) {
    const Matrix3 bt = Transpose(b);
    Matrix3 out;
    for (int i = 0; i < 3; ++i) {
        out.rows[i] = bt * a.rows[i];
    }
    return out;
}

Matrix3 RotationMatrix(const CQuat& q) {
    const double s = q.m_dS;
    const double x = q.m_ptVec.m_dX;
    const double y = q.m_ptVec.m_dY;
    const double z = q.m_ptVec.m_dZ;
    const double n2 = s * s + x * x + y * y + z * z;
    const Matrix3 m{
        {CPoint3D(s * s + x * x - y * y - z * z, 2 * (x * y - s * z), 2 * (x * z + s * y)),
         CPoint3D(2 * (x * y + s * z), s * s - x * x + y * y - z * z, 2 * (y * z - s * x)),
         CPoint3D(2 * (x * z - s * y), 2 * (y * z + s * x), s * s - x * x - y * y + z * z)}};
    return {{m.rows[0] / n2, m.rows[1] / n2, m.rows[2] / n2}};
}

bool IsUsablePose(const FramePose& pose) {
    const CQuat& q = pose.rotation;
    if (!Finite(pose.offset) || !std::isfinite(q.m_dS) || !Finite(q.m_ptVec)) {
        return false;
    }
    const double n = std::sqrt(q.m_dS * q.m_dS + Dot(q.m_ptVec, q.m_ptVec));
    return n >= 0.9 && n <= 1.1;
}

CPoint3D PointToReference(const FramePose& pose, const CPoint3D& pointInFrame) {
    return RotationMatrix(pose.rotation) * pointInFrame + pose.offset;
}

CPoint3D PointFromReference(const FramePose& pose, const CPoint3D& pointInReference) {
    return Transpose(RotationMatrix(pose.rotation)) * (pointInReference - pose.offset);
}

CPoint3D VectorToReference(const FramePose& pose, const CPoint3D& vectorInFrame) {
    return RotationMatrix(pose.rotation) * vectorInFrame;
}

CPoint3D VectorFromReference(const FramePose& pose, const CPoint3D& vectorInReference) {
    return Transpose(RotationMatrix(pose.rotation)) * vectorInReference;
}

FramePose ComposePoses(const FramePose& middleInReference, const FramePose& innerInMiddle) {
    return {middleInReference.rotation * innerInMiddle.rotation,
            PointToReference(middleInReference, innerInMiddle.offset)};
}

FramePose InversePose(const FramePose& pose) {
    return {pose.rotation.Conjugate(), -VectorFromReference(pose, pose.offset)};
}

std::optional<ModelParameters> MoveModel(const ModelParameters& model, const FramePose& initial,
                                         const FramePose& final) {
    if (!IsUsablePose(initial) || !IsUsablePose(final)) {
        return std::nullopt;
    }
    const Matrix3 r = RotationMatrix(final.rotation) * Transpose(RotationMatrix(initial.rotation));
    ModelParameters moved = model;
    moved.c = r * (model.c - initial.offset) + final.offset;
    moved.a = r * model.a;
    moved.h = r * model.h;
    moved.v = r * model.v;
    moved.o = r * model.o;
    return moved;
}

std::optional<ModelParameters> ModelToReference(const ModelParameters& modelInFrame,
                                                const FramePose& frameInReference) {
    return MoveModel(modelInFrame, FramePose{}, frameInReference);
}

std::optional<ModelParameters> ModelFromReference(const ModelParameters& modelInReference,
                                                  const FramePose& frameInReference) {
    return MoveModel(modelInReference, frameInReference, FramePose{});
}

CPoint3D OutputFromVehicle(const CPoint3D& pointInVehicle) {
    return pointInVehicle.FlipYZ();
}

CPoint3D VehicleFromOutput(const CPoint3D& pointInOutput) {
    return pointInOutput.FlipYZ();
}

CPoint3D OutputFromVehicleTurned(const CPoint3D& pointInVehicle, const CQuat& attitude) {
    return RotateVector(pointInVehicle, attitude).FlipYZ();
}

CPoint3D VehicleFromOutputTurned(const CPoint3D& pointInOutput, const CQuat& attitude) {
    return RotateVector(pointInOutput.FlipYZ(), attitude.Conjugate());
}

Ray OutputRayFromVehicle(const Ray& rayInVehicle, const std::optional<CQuat>& attitude) {
    if (!attitude) {
        return {OutputFromVehicle(rayInVehicle.origin), OutputFromVehicle(rayInVehicle.direction)};
    }
    return {OutputFromVehicleTurned(rayInVehicle.origin, *attitude),
            OutputFromVehicleTurned(rayInVehicle.direction, *attitude)};
}
