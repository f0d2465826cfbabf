#include "session/PairDocument.h"

#include "imagedb/ImageDatabase.h"

#include <algorithm>
#include <cmath>
#include <utility>

PairDocument::PairDocument(const ImageDatabase& db) : m_db(db) {}

std::size_t PairDocument::Subscribe(Subscriber subscriber) const {
    m_subscribers.emplace_back(m_nextHandle, std::move(subscriber));
    return m_nextHandle++;
}

void PairDocument::Unsubscribe(std::size_t handle) const {
    std::erase_if(m_subscribers, [handle](const auto& s) { return s.first == handle; });
}

void PairDocument::Notify(Change change) {
    // A subscriber may subscribe or unsubscribe while being told.
    const auto subscribers = m_subscribers;
    for (const auto& [handle, subscriber] : subscribers) {
        subscriber(change);
    }
}

void PairDocument::BuildRig() {
    m_rig = IsOpen() ? StereoRig::Build(m_setup, m_db, &m_products) : StereoRig();
    m_rigDatabase = m_db.Revision();
}

void PairDocument::FollowDatabase() {
    if (m_db.Revision() != m_rigDatabase) {
        Rebuild();
    }
}

void PairDocument::Open(const PairSetup& setup) {
    m_setup = setup;
    m_products = ProductCameraCache();
    m_session.ClearForNewPair();
    m_session.SetFile(Eye::Left, setup.leftFile);
    m_session.SetFile(Eye::Right, setup.rightFile);
    BuildRig();
    Notify(Change::Pair);
}

void PairDocument::Close() {
    Open(PairSetup{});
}

void PairDocument::SetOptions(const CalcOptions& options) {
    FollowDatabase();
    if (options == m_setup.options) {
        return;
    }
    m_setup.options = options;
    BuildRig();
    Notify(Change::Cameras);
}

void PairDocument::SetDecodedSizes(const DecodedImageSizes& sizes) {
    if (sizes == m_setup.decoded) {
        return;
    }
    m_setup.decoded = sizes;
    BuildRig();
    Notify(Change::Cameras);
}

void PairDocument::Rebuild() {
    BuildRig();
    Notify(Change::Cameras);
}

void PairDocument::SwapEyes() {
    std::swap(m_setup.leftFile, m_setup.rightFile);
    std::swap(m_setup.decoded.left, m_setup.decoded.right);
    m_session.SwapFiles();
    BuildRig();
    Notify(Change::Pair);
}

void PairDocument::SetMark(Eye eye, const ImagePoint& pixel) {
    m_session.SetMark(eye, pixel);
    Notify(Change::Marks);
}

void PairDocument::SetMatchedMark(Eye eye, const ImagePoint& pixel, double score, double sigmaPx) {
    m_session.SetMatchedMark(eye, pixel, score, sigmaPx);
    Notify(Change::Marks);
}

void PairDocument::ClearMark(Eye eye) {
    m_session.ClearMark(eye);
    Notify(Change::Marks);
}

bool PairDocument::SetClickSigmaPx(double px) {
    if (!(px > 0.0)) {
        return false;
    }
    m_clickSigmaPx = px;
    return true;
}

bool PairDocument::SetGroundHeightSigmaM(double m) {
    if (!std::isfinite(m) || m < 0.0) {
        return false;
    }
    m_groundHeightSigmaM = m;
    return true;
}

PairDocument::Measured PairDocument::Measure(const std::string& timeUtc) {
    const auto left = Mark(Eye::Left);
    const auto right = Mark(Eye::Right);
    if (!left || !right) {
        Measured out;
        out.problem = !left && !right ? "Mark the point in both images first"
                      : !left         ? "Mark the point in the left image first"
                                      : "Mark the point in the right image first";
        return out;
    }
    return MeasureAt(*left, *right, timeUtc);
}

PairDocument::Measured PairDocument::MeasureAt(const ImagePoint& left, const ImagePoint& right,
                                               const std::string& timeUtc) {
    return MeasureMarks(left, right, timeUtc, false);
}

PairDocument::Measured PairDocument::MeasureDense(const ImagePoint& left, const ImagePoint& right,
                                                  double sigmaPx, const std::string& timeUtc) {
    m_session.SetMatchedMark(Eye::Left, left, 1.0, sigmaPx);
    m_session.SetMatchedMark(Eye::Right, right, 1.0, sigmaPx);
    Notify(Change::Marks);
    return MeasureMarks(left, right, timeUtc, true);
}

PairDocument::Measured PairDocument::MeasureMarks(const ImagePoint& left, const ImagePoint& right,
                                                  const std::string& timeUtc, bool dense) {
    FollowDatabase();
    Measured out;
    const CPoint3D last = m_session.LastPosition();
    out.result = m_rig.Measure(left, right, last);
    if (!out.result.bOk) {
        out.problem = !m_rig.Problem().empty()        ? m_rig.Problem()
                      : !out.result.vMessages.empty() ? out.result.vMessages.front()
                                                      : "The two rays do not meet in front of "
                                                        "both cameras";
        return out;
    }
    const PixelSigmas sigmas = m_session.MarkSigmas(m_clickSigmaPx, left, right);
    MeasurementRecord record = RecordOfCalculation(
        m_rig.Input(left, right, last), out.result,
        dense ? PixelSource::Dense : m_session.CurrentSource(Eye::Left),
        dense ? PixelSource::Dense : m_session.CurrentSource(Eye::Right), sigmas, timeUtc);
    m_session.Append(std::move(record));
    out.row = m_session.Measurements().size() - 1;
    Notify(Change::Measurements);
    return out;
}
