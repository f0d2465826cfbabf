#include "session/MeasurementSession.h"

#include <cmath>
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

PixelSigmas MeasurementSession::MarkSigmas(double clickSigmaPx, const ImagePoint& left,
                                           const ImagePoint& right) const {
    // The dialog's fields carry the pixels as text: a thousandth of a pixel
    // is the same pixel.
    constexpr double kSamePixel = 1e-3;
    const auto of = [&](const MarkOrigin& o, const std::optional<ImagePoint>& mark,
                        const ImagePoint& pixel) {
        const bool same = mark && std::abs(mark->x - pixel.x) <= kSamePixel &&
                          std::abs(mark->y - pixel.y) <= kSamePixel;
        return same && o.matched && o.sigmaPx > 0.0 ? o.sigmaPx : clickSigmaPx;
    };
    return {of(m_leftOrigin, Mark(Eye::Left), left), of(m_rightOrigin, Mark(Eye::Right), right)};
}

void MeasurementSession::SetMatchedMark(Eye eye, const ImagePoint& pixel, double score,
                                        double sigmaPx) {
    (eye == Eye::Left ? m_leftOrigin : m_rightOrigin) = MarkOrigin{true, score, sigmaPx};
    if (eye == Eye::Left) {
        m_ptLeftMark = pixel;
        m_bLeftMarkSet = true;
        m_bLeftReselected = false;
    } else {
        m_ptRightMark = pixel;
        m_bRightMarkSet = true;
        m_bRightReselected = false;
    }
}

void MeasurementSession::ClearMark(Eye eye) {
    (eye == Eye::Left ? m_bLeftMarkSet : m_bRightMarkSet) = false;
    (eye == Eye::Left ? m_bLeftReselected : m_bRightReselected) = false;
}

void MeasurementSession::Append(const ImagePoint& left, const ImagePoint& right,
                                const VertexRecord& vertex, const std::string& logEntry,
                                const CPoint3D& position) {
    MeasurementRecord r;
    r.leftPixel = left;
    r.rightPixel = right;
    r.leftSource = m_bLeftReselected ? PixelSource::Reselected : PixelSource::Clicked;
    r.rightSource = m_bRightReselected ? PixelSource::Reselected : PixelSource::Clicked;
    r.position = position;
    r.rangeM = position.Length();
    r.vertex = vertex;
    r.timeUtc = UtcNow();
    r.logEntry = logEntry;
    Append(std::move(r));
}

PixelSource MeasurementSession::CurrentSource(Eye eye) const {
    return (eye == Eye::Left ? m_bLeftReselected : m_bRightReselected) ? PixelSource::Reselected
                                                                       : PixelSource::Clicked;
}

void MeasurementSession::Append(MeasurementRecord record) {
    m_vLeftMarks.push_back(record.leftPixel);
    m_vRightMarks.push_back(record.rightPixel);
    m_bLeftMarkSet = false;
    m_bRightMarkSet = false;
    // A matched mark is recorded as matched, with its score.
    if (m_leftOrigin.matched && record.leftSource == PixelSource::Clicked) {
        record.leftSource = PixelSource::Matched;
    }
    if (m_rightOrigin.matched && record.rightSource == PixelSource::Clicked) {
        record.rightSource = PixelSource::Matched;
    }
    m_vOrigins.push_back({m_leftOrigin, m_rightOrigin});
    m_leftOrigin = m_rightOrigin = MarkOrigin{};
    m_bLeftReselected = false;
    m_bRightReselected = false;
    m_sResultsLog += record.logEntry;
    m_vVertices.push_back(record.vertex);
    m_ptLastPos = record.position;
    record.index = m_nNextIndex++;
    m_vRecords.push_back(std::move(record));
    m_vHasMarks.push_back(true);
    ++m_nLogRevision;
    ++m_nRevision;
}

std::optional<std::size_t> MeasurementSession::MarkIndexOfRow(std::size_t row) const {
    if (!RowHasMarks(row)) {
        return std::nullopt;
    }
    std::size_t i = 0;
    for (std::size_t r = 0; r < row; ++r) {
        i += m_vHasMarks[r] ? 1 : 0;
    }
    return i;
}

std::optional<std::size_t> MeasurementSession::RowOfMarkIndex(std::size_t i) const {
    for (std::size_t r = 0; r < m_vHasMarks.size(); ++r) {
        if (m_vHasMarks[r] && i-- == 0) {
            return r;
        }
    }
    return std::nullopt;
}

bool MeasurementSession::Reselect(std::size_t i) {
    if (i >= m_vLeftMarks.size() || i >= m_vRightMarks.size()) {
        return false;
    }
    if (const auto row = RowOfMarkIndex(i)) {
        m_vHasMarks[*row] = false;
        ++m_nRevision;
    }
    m_ptLeftMark = m_vLeftMarks[i];
    m_ptRightMark = m_vRightMarks[i];
    m_vLeftMarks.erase(m_vLeftMarks.begin() + static_cast<std::ptrdiff_t>(i));
    m_vRightMarks.erase(m_vRightMarks.begin() + static_cast<std::ptrdiff_t>(i));
    m_bLeftMarkSet = true;
    m_bRightMarkSet = true;
    m_leftOrigin = m_rightOrigin = MarkOrigin{};
    m_bLeftReselected = true;
    m_bRightReselected = true;
    return true;
}

MeasurementSession::CurrentMarks MeasurementSession::CurrentMarkState() const {
    return {Mark(Eye::Left), Mark(Eye::Right),  m_leftOrigin,
            m_rightOrigin,   m_bLeftReselected, m_bRightReselected};
}

bool MeasurementSession::ReturnMarks(std::size_t row, const CurrentMarks& before) {
    if (row >= m_vRecords.size() || m_vHasMarks[row]) {
        return false;
    }
    m_vHasMarks[row] = true;
    const auto at = static_cast<std::ptrdiff_t>(*MarkIndexOfRow(row));
    m_vLeftMarks.insert(m_vLeftMarks.begin() + at, m_vRecords[row].leftPixel);
    m_vRightMarks.insert(m_vRightMarks.begin() + at, m_vRecords[row].rightPixel);
    m_bLeftMarkSet = before.left.has_value();
    m_bRightMarkSet = before.right.has_value();
    m_ptLeftMark = before.left.value_or(ImagePoint{});
    m_ptRightMark = before.right.value_or(ImagePoint{});
    m_leftOrigin = before.leftOrigin;
    m_rightOrigin = before.rightOrigin;
    m_bLeftReselected = before.leftReselected;
    m_bRightReselected = before.rightReselected;
    ++m_nRevision;
    return true;
}

void MeasurementSession::ClearForNewPair() {
    m_vLeftMarks.clear();
    m_vRightMarks.clear();
    m_vVertices.clear();
    m_vOrigins.clear();
    m_vRecords.clear();
    m_vHasMarks.clear();
    m_sLogBefore = m_sResultsLog;
    m_nNextIndex = 1;
    ++m_nRevision;
}

void MeasurementSession::RebuildLog() {
    m_sResultsLog = m_sLogBefore;
    for (const MeasurementRecord& r : m_vRecords) {
        m_sResultsLog += r.logEntry;
    }
    ++m_nLogRevision;
    ++m_nRevision;
}

std::optional<MeasurementSession::RemovedMeasurement> MeasurementSession::Remove(std::size_t row) {
    if (row >= m_vRecords.size() || row >= m_vVertices.size()) {
        return std::nullopt;
    }
    RemovedMeasurement removed{row, m_vRecords[row], m_vHasMarks[row], {}};
    if (const auto mark = MarkIndexOfRow(row);
        mark && *mark < m_vLeftMarks.size() && *mark < m_vRightMarks.size()) {
        m_vLeftMarks.erase(m_vLeftMarks.begin() + static_cast<std::ptrdiff_t>(*mark));
        m_vRightMarks.erase(m_vRightMarks.begin() + static_cast<std::ptrdiff_t>(*mark));
    }
    const auto at = static_cast<std::ptrdiff_t>(row);
    m_vRecords.erase(m_vRecords.begin() + at);
    m_vHasMarks.erase(m_vHasMarks.begin() + at);
    m_vVertices.erase(m_vVertices.begin() + at);
    if (row < m_vOrigins.size()) {
        removed.origin = m_vOrigins[row];
        m_vOrigins.erase(m_vOrigins.begin() + at);
    }
    RebuildLog();
    return removed;
}

bool MeasurementSession::Restore(const RemovedMeasurement& removed) {
    const std::size_t row = removed.row;
    if (row > m_vRecords.size() || row > m_vVertices.size()) {
        return false;
    }
    const auto at = static_cast<std::ptrdiff_t>(row);
    m_vRecords.insert(m_vRecords.begin() + at, removed.record);
    m_vHasMarks.insert(m_vHasMarks.begin() + at, removed.hadMarks);
    m_vVertices.insert(m_vVertices.begin() + at, removed.record.vertex);
    if (row <= m_vOrigins.size()) {
        m_vOrigins.insert(m_vOrigins.begin() + at, removed.origin);
    }
    if (const auto mark = MarkIndexOfRow(row); mark && *mark <= m_vLeftMarks.size()) {
        const auto m = static_cast<std::ptrdiff_t>(*mark);
        m_vLeftMarks.insert(m_vLeftMarks.begin() + m, removed.record.leftPixel);
        m_vRightMarks.insert(m_vRightMarks.begin() + m, removed.record.rightPixel);
    }
    RebuildLog();
    return true;
}

bool MeasurementSession::SetNote(std::size_t row, std::string note) {
    if (row >= m_vRecords.size()) {
        return false;
    }
    m_vRecords[row].note = std::move(note);
    ++m_nRevision;
    return true;
}
