// The dense range map of the open pair in the stereo view: computed on a
// worker thread (with a progress bar and Cancel, the window carrying on)
// when View > Range Map asks for it, kept until the pair or its cameras
// change, drawn over the left image in colour with a legend in metres, read
// out under the pointer, and measured from with one click.
#pragma once

#include "session/PairDocument.h"
#include "stereo/DenseExport.h"
#include "stereo/DenseRange.h"
#include "ui/UiServices.h"
#include "viewer/ViewGeometry.h"

#include <QImage>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CChildView;
class QPainter;
class QThread;

class CRangeMapTool : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kProgressTitle = "Computing the range map";

    explicit CRangeMapTool(CChildView& view);
    ~CRangeMapTool() override;
    CRangeMapTool(const CRangeMapTool&) = delete;
    CRangeMapTool& operator=(const CRangeMapTool&) = delete;

    // View > Range Map: shows the overlay, computing the map first when the
    // open pair has none; hides it when it shows; stops the computation
    // under way.
    void OnRangeMap();
    // Computes the map on a worker thread (a computation under way is
    // dropped first). False, with a message, when the pair cannot be ranged.
    bool Compute();
    bool Busy() const { return m_thread != nullptr; }
    // Stops the computation under way (the progress bar's Cancel, Esc); the
    // map stays as it was.
    void Cancel();
    // Waits for the computation under way (tests, closing).
    void WaitForMap();

    // The map of the open pair with its cameras; nullptr when there is none.
    const DenseRangeMap* Map() const { return m_map.get(); }
    bool OverlayShown() const { return m_shown && m_map; }
    void SetOverlayShown(bool shown);
    // 0.1 .. 1.
    double Opacity() const { return m_opacity; }
    void SetOpacity(double opacity);
    const RangeColours& Colours() const { return m_colours; }

    // The overlay and the legend over the left panel.
    void Draw(QPainter& p, const SideLayout& layout) const;
    // The readout of a left pixel: range, position and range sigma; empty
    // where the map has nothing.
    std::string Readout(const ImagePoint& left) const;
    // One click: the left pixel and its partner in the map, to be measured
    // as a normal measurement recorded as "dense", with the disparity's
    // sigma shared by the two marks. Nothing when the map has no point there
    // (the status bar says so).
    struct DenseMarks {
        ImagePoint left;
        ImagePoint right;
        double sigmaPx = 0.0;
    };
    std::optional<DenseMarks> MarksAt(const ImagePoint& left);

signals:
    // The map came, went or is drawn otherwise: the view repaints.
    void Changed();

private:
    struct Job;
    void OnDocumentChanged(PairDocument::Change change);
    void OnJobFinished();
    void PollProgress();
    void Drop();

    CChildView& m_view;
    std::size_t m_subscription = 0;
    std::shared_ptr<const DenseRangeMap> m_map;
    QImage m_overlay; // ARGB, the left image's size
    RangeColours m_colours;
    bool m_shown = false;
    double m_opacity = 0.5; // one of View > Range Map Opacity's levels
    // The computation under way.
    std::shared_ptr<Job> m_job;
    QThread* m_thread = nullptr; // deleted when it finishes
    // Computations dropped before they finished, each deleted when it does.
    std::vector<QThread*> m_dropped;
    // The bar in the status bar; the window takes input meanwhile.
    std::unique_ptr<IProgress> m_progress;
    QTimer m_poll;
};
