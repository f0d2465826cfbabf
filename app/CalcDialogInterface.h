// The contract between the pair's controller and the modeless Analyse
// dialog, so that each side can be built and tested without the other.
#pragma once

#include "geometry/Measurement.h"
#include "session/MeasurementRecord.h"
#include "session/PairDocument.h"
#include "stereo/CalcInput.h"
#include "stereo/PointUncertainty.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the Analyse dialog needs of the controller that owns it.
class ICalcHost {
public:
    virtual ~ICalcHost() = default;
    virtual std::string LeftFile() const = 0;
    virtual std::string RightFile() const = 0;
    // The open pair's document: its cameras are the ones CALCULATE uses and
    // its image database holds the records the dialog shows. None: there is
    // nothing to measure.
    virtual PairDocument* OpenPair() = 0;
    // A successful calculation: append the two pixels, the vertex and the log
    // entry to the open pair, clear both current-mark flags, repaint at once.
    virtual void AppendMeasurement(const ImagePoint& left, const ImagePoint& right,
                                   const VertexRecord& vertex, const std::string& logEntry) = 0;
    // The same with everything the measurement table shows; a host that
    // keeps no table takes the pixels, vertex and log entry only.
    virtual void AppendMeasurementRecord(const MeasurementRecord& record) {
        AppendMeasurement(record.leftPixel, record.rightPixel, record.vertex, record.logEntry);
    }
    // The dialog was closed by Esc or its close box. Called through a queued
    // connection (the controller then hides, destroys and forgets it).
    virtual void CalcDialogClosed() = 0;
    // Auto-match of the second click, which the dialog shows and changes.
    virtual bool AutoMatch() const { return false; }
    virtual void SetAutoMatch(bool /*on*/) {}
    // The cameras or their options changed in the dialog.
    virtual void CalcOptionsChanged() {}
    // The sizes the two images were decoded at (unknown: each product's own).
    virtual DecodedImageSizes ImageSizes() const { return {}; }
    // The 1-sigma per coordinate of the pixels of a calculation, for its
    // uncertainty: a matched mark's own, else a click's.
    virtual PixelSigmas MarkSigmas(const ImagePoint& /*left*/, const ImagePoint& /*right*/) const {
        return {};
    }
};

// What the controller needs of the Analyse dialog.
class ICalcDialog {
public:
    virtual ~ICalcDialog() = default;
    virtual void ShowDialog() = 0;
    virtual void HideDialog() = 0;
    // Writes one side's pixel into the dialog's members.
    virtual void SetLeftPixel(double col, double row) = 0;
    virtual void SetRightPixel(double col, double row) = 0;
    // Refresh from the host's files, the pixel members and the open pair.
    virtual void UpdateImageInfo() = 0;
    // CALCULATE.
    virtual void OnCalculate() = 0;
    // Blanks the results of the last calculation (another pair was opened).
    virtual void ClearResults() {}
    // CALCULATE without message boxes: what it would show is added to
    // messages (a batch of calculations).
    virtual void CalculateQuietly(std::vector<std::string>& /*messages*/) { OnCalculate(); }
    // The options CALCULATE would use now (cameras, R-L vector, azimuth
    // corrections); nothing when the dialog does not say.
    virtual std::optional<CalcOptions> CurrentOptions() const { return std::nullopt; }
    // The host's auto-match changed (from the menu).
    virtual void AutoMatchChanged() {}
};
