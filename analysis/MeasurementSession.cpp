#include "analysis/MeasurementSession.h"

#include <utility>

void MeasurementSession::SetFile(Eye eye, std::string path) {
    (eye == Eye::Left ? m_sLeftFile : m_sRightFile) = std::move(path);
}

void MeasurementSession::SwapFiles() {
    std::swap(m_sLeftFile, m_sRightFile);
}

std::optional<ImagePoint> MeasurementSession::Mark(Eye eye) const {
    if (eye == Eye::Left) {
        return m_bLeftMarkSet ? std::optional(m_ptLeftMark) : std::nullopt;
    }
    return m_bRightMarkSet ? std::optional(m_ptRightMark) : std::nullopt;
}

void MeasurementSession::SetMark(Eye eye, const ImagePoint& pixel) {
    SetMatchedMark(eye, pixel, 0.0);
    (eye == Eye::Left ? m_leftOrigin : m_rightOrigin) = MarkOrigin{};
}

void MeasurementSession::SetMatchedMark(Eye eye, const ImagePoint& pixel, double score) {
    (eye == Eye::Left ? m_leftOrigin : m_rightOrigin) = MarkOrigin{true, score};
    if (eye == Eye::Left) {
        m_ptLeftMark = pixel;
        m_bLeftMarkSet = true;
    } else {
        m_ptRightMark = pixel;
        m_bRightMarkSet = true;
    }
}

void MeasurementSession::ClearMark(Eye eye) {
    (eye == Eye::Left ? m_bLeftMarkSet : m_bRightMarkSet) = false;
}

void MeasurementSession::Append(const ImagePoint& left, const ImagePoint& right,
                                const VertexRecord& vertex, const std::string& logEntry,
                                const CPoint3D& position) {
    m_vLeftMarks.push_back(left);
    m_vRightMarks.push_back(right);
    m_bLeftMarkSet = false;
    m_bRightMarkSet = false;
    m_sResultsLog += logEntry;
    m_vVertices.push_back(vertex);
    m_vOrigins.push_back({m_leftOrigin, m_rightOrigin});
    m_leftOrigin = m_rightOrigin = MarkOrigin{};
    m_ptLastPos = position;
}

bool MeasurementSession::Reselect(std::size_t i) {
    if (i >= m_vLeftMarks.size() || i >= m_vRightMarks.size()) {
        return false;
    }
    m_ptLeftMark = m_vLeftMarks[i];
    m_ptRightMark = m_vRightMarks[i];
    m_vLeftMarks.erase(m_vLeftMarks.begin() + static_cast<std::ptrdiff_t>(i));
    m_vRightMarks.erase(m_vRightMarks.begin() + static_cast<std::ptrdiff_t>(i));
    m_bLeftMarkSet = true;
    m_bRightMarkSet = true;
    m_leftOrigin = m_rightOrigin = MarkOrigin{};
    return true;
}

void MeasurementSession::ClearForNewPair() {
    m_vLeftMarks.clear();
    m_vRightMarks.clear();
    m_vVertices.clear();
    m_vOrigins.clear();
}
