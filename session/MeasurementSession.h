// The document of a measurement: the two images' files, the current mark in
// each image, the marks, vertices and results log of every calculation so
// far, and whether the log holds results that were never saved. Qt-free: the
// stereo view owns one, and ranvista-cli measure --batch collects into one.
#pragma once

#include "geometry/Eye.h"
#include "geometry/ImagePoint.h"
#include "geometry/Measurement.h"
#include "geometry/Point3D.h"
#include "session/MeasurementRecord.h"
#include "stereo/PointUncertainty.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// How a mark was set: clicked by the user, or found by matching the other
// image's mark, with the correlation score of the match and the matcher's
// 1-sigma of each of its coordinates.
struct MarkOrigin {
    bool matched = false;
    double score = 0.0;   // -1..1, when matched
    double sigmaPx = 0.0; // when matched; 0: not estimated
    bool operator==(const MarkOrigin&) const = default;
};

// The origins of the two marks of one measurement.
struct MeasurementOrigin {
    MarkOrigin left;
    MarkOrigin right;
};

class MeasurementSession {
public:
    const std::string& LeftFile() const { return m_sLeftFile; }
    const std::string& RightFile() const { return m_sRightFile; }
    const std::string& File(Eye eye) const { return eye == Eye::Left ? m_sLeftFile : m_sRightFile; }
    void SetFile(Eye eye, std::string path);
    // Left and right change places: files only; marks stay where they are.
    void SwapFiles();

    // The current mark of each image, when one is set.
    std::optional<ImagePoint> Mark(Eye eye) const;
    // A click: the mark counts as clicked.
    void SetMark(Eye eye, const ImagePoint& pixel);
    // A mark found by matching the other image's mark, sigmaPx its
    // estimated 1-sigma per coordinate (0: not estimated).
    void SetMatchedMark(Eye eye, const ImagePoint& pixel, double score, double sigmaPx = 0.0);
    // The 1-sigma per coordinate of the pixels of a calculation: a matched
    // current mark's own estimate where the pixel is that mark, else (a
    // click, a re-selection, a pixel typed in) clickSigmaPx.
    PixelSigmas MarkSigmas(double clickSigmaPx, const ImagePoint& left,
                           const ImagePoint& right) const;
    // How the current mark of an image was set (clicked when none is set).
    MarkOrigin Origin(Eye eye) const { return eye == Eye::Left ? m_leftOrigin : m_rightOrigin; }
    void ClearMark(Eye eye);
    bool BothMarksSet() const { return m_bLeftMarkSet && m_bRightMarkSet; }

    // Marks and vertices of the calculations so far, in order; index i of
    // each list belongs to the same measurement until a re-selection.
    const std::vector<ImagePoint>& Marks(Eye eye) const {
        return eye == Eye::Left ? m_vLeftMarks : m_vRightMarks;
    }
    const std::vector<VertexRecord>& Vertices() const { return m_vVertices; }
    // How the marks of each vertex were set, index for index with Vertices().
    const std::vector<MeasurementOrigin>& Origins() const { return m_vOrigins; }
    const std::string& ResultsLog() const { return m_sResultsLog; }
    // Position of the last successful calculation appended.
    const CPoint3D& LastPosition() const { return m_ptLastPos; }

    // A successful calculation: its marks join the lists (the current marks
    // are cleared), its vertex the vertices, its entry the log, and the
    // origins of the current marks the origins.
    void Append(const ImagePoint& left, const ImagePoint& right, const VertexRecord& vertex,
                const std::string& logEntry, const CPoint3D& position);

    // The same with everything the workspace shows of the calculation; its
    // index is given here (one more than the last). The pixels' sources are
    // kept as given. The overload above records what it is given, stamped
    // with the time, its pixels "re-selected" when they are the marks of a
    // re-selection, else "clicked".
    void Append(MeasurementRecord record);
    // How the current mark of eye was set: re-selected, or clicked.
    PixelSource CurrentSource(Eye eye) const;

    // Double-click re-selection: stored mark i of both lists becomes the
    // current mark of each image again and leaves the lists. The vertex list,
    // the log and the measurements keep the measurement. False when i is not
    // in both lists.
    bool Reselect(std::size_t i);

    // The current marks and how they were set: what a re-selection replaces.
    struct CurrentMarks {
        std::optional<ImagePoint> left;
        std::optional<ImagePoint> right;
        MarkOrigin leftOrigin;
        MarkOrigin rightOrigin;
        bool leftReselected = false;
        bool rightReselected = false;
    };
    CurrentMarks CurrentMarkState() const;
    // Undo of a re-selection of row: its marks go back into the mark lists
    // where they were, and the current marks become before. False when row
    // does not exist or its marks are already in the lists.
    bool ReturnMarks(std::size_t row, const CurrentMarks& before);

    // A new pair: the stored marks, the vertices and the measurements go; the
    // log, and with it what is unsaved, stays.
    void ClearForNewPair();

    // Whether the log holds calculations that were never saved.
    bool HasUnsavedResults() const { return m_nLogRevision != m_nSavedLogRevision; }
    // The log as it now stands has been saved.
    void MarkResultsSaved() { m_nSavedLogRevision = m_nLogRevision; }

    // The measurements of this pair, one per calculation, in the order made;
    // row r owns vertex r and, while its marks are shown, its pair of marks.
    const std::vector<MeasurementRecord>& Measurements() const { return m_vRecords; }
    // Whether row's marks are in the mark lists (a re-selection takes them).
    bool RowHasMarks(std::size_t row) const { return row < m_vHasMarks.size() && m_vHasMarks[row]; }
    // Index into the mark lists of row's marks; nothing when it has none.
    std::optional<std::size_t> MarkIndexOfRow(std::size_t row) const;
    // The row whose marks are at index i of the mark lists.
    std::optional<std::size_t> RowOfMarkIndex(std::size_t i) const;

    // What Remove takes away, enough for Restore to put it back.
    struct RemovedMeasurement {
        std::size_t row = 0;
        MeasurementRecord record;
        bool hadMarks = false;
        MeasurementOrigin origin;
    };
    // Deletes a measurement: its row, vertex, marks and log entry go
    // together, so the vertex file and the log no longer hold it. Nothing
    // for a row that does not exist.
    std::optional<RemovedMeasurement> Remove(std::size_t row);
    // Puts a removed measurement back where it was (undo of Remove, in
    // reverse order of removal). False when its row is past the end.
    bool Restore(const RemovedMeasurement& removed);
    // The note of a row; false for a row that does not exist.
    bool SetNote(std::size_t row, std::string note);

    // Grows with every change of the measurements (a calculation, a removal,
    // a note, a new pair); an autosave compares it with the one it wrote.
    std::size_t Revision() const { return m_nRevision; }

private:
    std::string m_sLeftFile;
    std::string m_sRightFile;
    ImagePoint m_ptLeftMark;
    bool m_bLeftMarkSet = false;
    ImagePoint m_ptRightMark;
    bool m_bRightMarkSet = false;
    std::vector<ImagePoint> m_vLeftMarks;
    std::vector<ImagePoint> m_vRightMarks;
    std::vector<VertexRecord> m_vVertices;
    MarkOrigin m_leftOrigin;
    MarkOrigin m_rightOrigin;
    std::vector<MeasurementOrigin> m_vOrigins;
    std::string m_sResultsLog;
    CPoint3D m_ptLastPos;
    std::vector<MeasurementRecord> m_vRecords;
    std::vector<bool> m_vHasMarks; // per row
    // The log of earlier pairs; the log is this followed by each row's entry.
    std::string m_sLogBefore;
    int m_nNextIndex = 1;
    bool m_bLeftReselected = false; // the current mark came from a re-selection
    bool m_bRightReselected = false;
    // Changes of the log, and the count at the last save.
    std::size_t m_nLogRevision = 0;
    std::size_t m_nSavedLogRevision = 0;
    std::size_t m_nRevision = 0;
    void RebuildLog();
};
