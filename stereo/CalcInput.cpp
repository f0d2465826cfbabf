#include "stereo/CalcInput.h"

#include "base/Paths.h"
#include "imagedb/ImageDatabase.h"
#include "products/ProductName.h"
#include "stereo/PairProjections.h"

namespace {

// Camera centres closer than this cannot triangulate anything: the two
// "eyes" are one camera.
constexpr double kMinBaselineM = 1e-6;

// How far apart the two cameras' centres are, from the rays of a pixel each
// casts; nothing when neither pixel tried casts a ray.
std::optional<double> Baseline(const ICameraProjection& left, const ICameraProjection& right) {
    for (const ImagePoint pixel : {ImagePoint{0.0, 0.0}, ImagePoint{512.0, 512.0}}) {
        const auto l = left.PixelToRay(pixel);
        const auto r = right.PixelToRay(pixel);
        if (l && r) {
            return (l->origin - r->origin).Length();
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<CameraPose> PoseOfImage(const ImageDatabase& db, std::string_view path) {
    if (const ImageRecord* record = db.FindRecord(PathTitle(path))) {
        return PoseOf(*record);
    }
    return std::nullopt;
}

RangeCalcInput MakeRangeCalcInput(const CalcOptions& options, const std::string& leftFile,
                                  const std::string& rightFile, const ImagePoint& leftPixel,
                                  const ImagePoint& rightPixel, const CPoint3D& lastPosition,
                                  const ImageDatabase& db, ProductCameraCache* cache,
                                  const DecodedImageSizes& decoded) {
    RangeCalcInput in;
    in.dLeftCol = leftPixel.x;
    in.dLeftRow = leftPixel.y;
    in.dRightCol = rightPixel.x;
    in.dRightRow = rightPixel.y;
    in.nCamLeft = options.leftCamera ? *options.leftCamera : CameraOfTitle(PathTitle(leftFile));
    in.nCamRight = options.rightCamera ? *options.rightCamera : CameraOfTitle(PathTitle(rightFile));
    in.leftPose = PoseOfImage(db, leftFile);
    in.rightPose = PoseOfImage(db, rightFile);
    in.b2D = options.b2D;
    in.bRLVector = options.bRLVector;
    in.strRLVector = options.strRLVector;
    in.dAzCorrLeft = options.dAzCorrLeft;
    in.dAzCorrRight = options.dAzCorrRight;
    in.sLeftFile = leftFile;
    in.sRightFile = rightFile;
    in.ptLastPos = lastPosition;
    if (options.bProductModels && !options.leftCamera && !options.rightCamera) {
        ProductCameraCache own;
        ProductCameraCache& products = cache != nullptr ? *cache : own;
        const ProductCameraResult& left = products.Get(leftFile);
        const ProductCameraResult& right = products.Get(rightFile);
        if (left.carriesModel || right.carriesModel) {
            if (!left.message.empty() || !right.message.empty()) {
                in.productProblem = !left.message.empty() ? left.message : right.message;
            } else if (!left.camera || !right.camera) {
                in.productProblem = (left.camera ? leftFile : rightFile) +
                                    " carries its own camera model but " +
                                    (left.camera ? rightFile : leftFile) +
                                    " does not: measure two products, or choose catalogue cameras";
            } else {
                const FittedCamera l = FitCameraToImage(leftFile, *left.camera, decoded.left);
                const FittedCamera r = FitCameraToImage(rightFile, *right.camera, decoded.right);
                if (!l.problem.empty() || !r.problem.empty()) {
                    // Its model would give wrong ranges on these pixels.
                    in.productProblem = (!l.problem.empty() ? l.problem : r.problem) +
                                        ": measure the image the model was made for, or "
                                        "choose catalogue cameras";
                } else {
                    in.leftProduct = l.camera;
                    in.rightProduct = r.camera;
                    in.productNote =
                        l.note.empty() || r.note.empty() ? l.note + r.note : l.note + "; " + r.note;
                }
            }
        }
    }
    if (in.productProblem.empty()) {
        const PairProjectionsResult cameras = MakePairProjections(in);
        if (cameras.ok) {
            const std::optional<double> baseline = Baseline(*cameras.left, *cameras.right);
            if (baseline && *baseline < kMinBaselineM) {
                in.productProblem = "The left and right cameras are at the same place, so their "
                                    "rays cannot be intersected: choose the camera of each eye";
            }
        }
    }
    return in;
}

std::string ModelSourceText(const RangeCalcInput& in, Eye eye) {
    const bool left = eye == Eye::Left;
    if (in.leftProduct && in.rightProduct) {
        return (left ? in.leftProduct : in.rightProduct)->Description();
    }
    const char* name = CameraName(left ? in.nCamLeft : in.nCamRight);
    if (name == nullptr) {
        return "catalogue: no camera";
    }
    const bool record = left ? in.leftPose.has_value() : in.rightPose.has_value();
    return std::string("catalogue: ") + name +
           (record ? ", database record" : ", no database record");
}

CatalogueCamerasResult MakeCatalogueCameras(const RangeCalcInput& in) {
    CatalogueCamerasResult out;
    for (const auto& [id, eye] : {std::pair{in.nCamLeft, Eye::Left}, {in.nCamRight, Eye::Right}}) {
        if (id < 0) {
            out.missing = eye;
            out.reason = std::string("no camera for the ") + (eye == Eye::Left ? "left" : "right") +
                         " image";
            return out;
        }
    }
    const bool bothPoses = in.leftPose && in.rightPose;
    CataloguePose lp;
    CataloguePose rp;
    lp.applyPointing = rp.applyPointing = bothPoses;
    lp.pose = in.leftPose;
    rp.pose = in.rightPose;
    if (in.bRLVector && bothPoses) {
        rp.offset = ParseRLVector(in.strRLVector);
    }
    lp.azCorrDeg = in.dAzCorrLeft;
    rp.azCorrDeg = in.dAzCorrRight;
    out.left.emplace(in.nCamLeft, lp);
    out.right.emplace(in.nCamRight, rp);
    out.ok = true;
    return out;
}
