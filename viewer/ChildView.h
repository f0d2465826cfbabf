// The stereo view: the left and right image side by side in two square
// panels, the pixel marks set in them, the measured vertices, zoom and pan.
// It is the main frame's only client window; the frame connects the menu
// items of the view's commands to the view's handlers. It draws the open
// pair's document and never changes it: clicks, Space, double-clicks, dropped
// files and measurements picked from the range map or one image become
// signals that the pair's controller (app), which owns the document, answers.
#pragma once

#include "geometry/Measurement.h"
#include "matching/Corners.h"
#include "session/MeasurementSession.h"
#include "session/PairDocument.h"
#include "stereo/ImageEllipse.h"
#include "stereo/MonoRange.h"
#include "ui/UiServices.h"
#include "viewer/AssistedPair.h"
#include "viewer/Image.h"
#include "viewer/PairDecoder.h"
#include "viewer/ViewGeometry.h"

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class COneImageView;
class QPainter;
class CRangeMapTool;
class CStereoWindow;

class CChildView : public QWidget {
    Q_OBJECT
    friend class CRangeMapTool; // tells the status bar
public:
    static constexpr const char* kBaseTitle = "Ranvista V5.0";
    // Settings: organisation, application and section.
    static constexpr const char* kSettingsName = "Ranvista";

    // Reads the view's settings. The document is its controller's and
    // outlives the view; the view reads the image database only through it.
    CChildView(IUiServices& ui, const PairDocument& doc, QWidget* parent = nullptr);
    // Writes the settings (the window is destroyed), then releases the images.
    ~CChildView() override;

    // Layout and mappings.
    ViewRect ClientRect() const { return ViewRect{0, 0, width(), height()}; }
    SideLayout ComputeLayout(const ViewRect& client, ViewSide side) const;
    ScreenToImageResult ScreenToImage(IntPoint p, ViewSide side, const SideLayout& layout) const;
    ImageToScreenResult ImageToScreen(const ImagePoint& q, ViewSide side,
                                      const SideLayout& layout) const;
    std::string TitleText() const;
    void UpdateTitle();
    // Sets the zoom step (held within kMinZoomStep .. kMaxZoomStep) and the zoom;
    // the view no longer fits the window.
    void SetZoomStep(long long step);

    // Fitting and zooming (ChildViewFit.cpp).
    enum class FitMode {
        Off,         // zoom and pan as set
        ShrinkLarge, // what a pair larger than its panels opens with: fitted, never enlarged
        Whole,       // View > Fit to Window: fitted, small images enlarged
    };
    FitMode Fit() const { return m_eFit; }
    // View > Fit to Window: both images whole and centred in their panels at
    // one zoom, kept so as the window changes size until the user zooms or pans.
    void OnFitToWindow();
    // View > Actual Size: one screen pixel per image pixel, the image point
    // at each panel's centre kept there.
    void OnActualSize();
    // The zoom keys: steps toward smaller (positive) or larger images, the
    // image point at each panel's centre kept there.
    void ZoomBySteps(long long steps);

    // The whole client area as painted: images, stored and current marks.
    void RenderTo(QImage& buffer) const;
    // Invalidates the whole view (or one panel) and paints it at once.
    void Repaint();
    void RepaintPanel(ViewSide side);

    // Shows a pair whose images were read, once the document holds it: the
    // last pair (or one image) goes, the zoom is chosen for the images.
    void ShowPair(DecodedPair images);
    // Shows file alone (ChildViewOneImage.cpp): a click measures on the
    // ground; the stereo commands do nothing meanwhile. The size of the image
    // shown (the document is then to open it alone: OneImage()->File()), or
    // nothing, with what was open still shown, when it cannot be opened.
    std::optional<ImageSize> ShowOneImage(const std::string& file);
    bool IsOneImage() const;
    COneImageView* OneImage() const { return m_pOneImage; }
    // A pair is being read: the empty view shows no hint meanwhile.
    void SetOpening(bool opening);
    // Commands of the view.
    void OnReset();
    // The images change places, once the document's eyes did.
    void SwapImages();
    void OnVertexIndices();
    void OnDisableBeeps();
    // View > Epipolar Curve, View > Auto-Match (ChildViewAssist.cpp).
    void OnEpipolarCurve();
    void OnAutoMatch();
    // Whether a click is matched into the other image.
    bool AutoMatch() const { return m_bAutoMatch; }
    void SetAutoMatch(bool on);
    // The part of the left image on screen, in its pixels; nothing when none
    // of it is.
    std::optional<PixelRect> LeftImageOnScreen() const;
    // Writes both settings.
    void OnDestroy();

    // The sizes the two images were decoded at.
    DecodedImageSizes ImageSizes() const;

    // The 1-sigma per coordinate of a clicked mark, in pixels.
    double ClickSigmaPx() const { return m_doc.ClickSigmaPx(); }

    bool EpipolarCurveShown() const { return m_bEpipolarCurve; }
    void SetEpipolarCurveShown(bool shown) { m_bEpipolarCurve = shown; }
    // The cameras and grey images of the open pair, its cameras as the
    // Analyse dialog would now choose them; nullptr without both images.
    const AssistedPair* Assist() const;
    // The status bar's message: where the view's notes go (the main frame's
    // status bar), and the last one.
    void SetStatusSink(std::function<void(const std::string&)> sink) {
        m_fnStatus = std::move(sink);
    }
    const std::string& StatusText() const { return m_sStatus; }
    // Progress of work the window carries on beside (the range map): a bar
    // with a Cancel button in the main frame's status bar, never a modal box.
    // Without a sink, progress nobody sees.
    using ProgressSink = std::function<std::unique_ptr<IProgress>(const std::string&, int)>;
    void SetBackgroundProgressSink(ProgressSink sink) { m_fnBackgroundProgress = std::move(sink); }
    std::unique_ptr<IProgress> BeginBackgroundProgress(const std::string& title,
                                                       int maximum) const {
        return m_fnBackgroundProgress ? m_fnBackgroundProgress(title, maximum)
                                      : std::make_unique<SilentProgress>();
    }

    // Shows text on the status bar.
    void ShowStatus(const std::string& text);
    IUiServices& Ui() const { return m_ui; }
    // The completion signal of long commands, unless beeps are disabled.
    void CompletionBeep();

    // The measurement: files, marks, vertices and the results log.
    const MeasurementSession& Session() const { return m_doc.Session(); }
    // The open pair as drawn: its setup, the cameras it is measured with, the
    // marks and the session.
    const PairDocument& Document() const { return m_doc; }

    // The view's own state.
    const CImage* Image(ViewSide side) const;
    bool HasBothImages() const { return m_pLeftImage && m_pRightImage; }
    // Puts an image on one side without a file (what opening a pair loads);
    // nullptr drops that side's image, as a failed load does.
    void SetImage(ViewSide side, std::unique_ptr<CImage> image);
    void ReleaseImage(ViewSide side) { SetImage(side, nullptr); }
    std::int32_t ZoomStep() const { return m_nZoomStep; }
    double Zoom() const { return m_dZoom; }
    PanOffset Offset(ViewSide side) const {
        return side == ViewSide::Left ? m_ptLeftOffset : m_ptRightOffset;
    }
    void SetOffset(ViewSide side, PanOffset offset) {
        (side == ViewSide::Left ? m_ptLeftOffset : m_ptRightOffset) = offset;
    }
    bool VertexIndicesShown() const { return m_bVertexIndices; }
    bool BeepsDisabled() const { return m_bDisableBeeps; }
    void SetBeepsDisabled(bool disabled) { m_bDisableBeeps = disabled; }
    // The folder the choosers start in (a setting).
    const std::string& FilePath() const { return m_sFilePath; }
    void SetFilePath(std::string folder) { m_sFilePath = std::move(folder); }
    // The index under the pointer, when it is near a stored mark.
    std::optional<std::uint32_t> HoverVertex() const {
        return m_bHoverVertex ? std::optional(m_nHoverVertex) : std::nullopt;
    }

    // The measurement workspace in the images (ChildViewWorkspace.cpp).
    // Rows (of Session().Measurements()) whose marks are drawn highlighted.
    void SetHighlightedRows(std::vector<std::size_t> rows);
    const std::vector<std::size_t>& HighlightedRows() const { return m_vHighlightedRows; }
    // View > Error Ellipses: each measurement's 1-sigma ellipse around its marks.
    bool ErrorEllipsesShown() const { return m_bErrorEllipses; }
    void SetErrorEllipsesShown(bool shown);
    void OnErrorEllipses() { SetErrorEllipsesShown(!m_bErrorEllipses); }
    // The 1-sigma ellipse of a measurement in one image, in image pixels
    // around its mark; empty when it has no uncertainty or its point does not
    // project through the pair's cameras onto its mark.
    std::vector<ImagePoint> ErrorEllipseOf(std::size_t row, ViewSide side) const;
    // Pans both panels (and zooms out when they do not fit) so that the marks
    // of rows all show; nothing moves when they already do.
    void ShowMarksOfRows(const std::vector<std::size_t>& rows);
    // Where a row's mark is on screen in a panel, when it shows there.
    std::optional<QPointF> MarkOnScreen(std::size_t row, ViewSide side) const;
    // The row whose stored mark lies nearest p (within a few screen pixels).
    std::optional<std::size_t> RowOfMarkAt(IntPoint p) const;
    // Screen distance within which a click picks a mark.
    static constexpr double kPickDistance = 6.0;

    // View > Stereo and the range map (ChildViewStereo.cpp). Shift+click in
    // the left image measures from the range map.
    void OnStereo();
    // View > Range Map: computes the map and shows it, or hides it (or stops
    // its computation); checked while it is shown or being computed.
    void OnRangeMap();
    bool RangeMapChecked() const;
    // View > Range Map Opacity: the overlay's opacity (0..1); shows it.
    void OnRangeMapOpacity(double opacity);
    CStereoWindow* StereoWindow() const { return m_pStereoWindow; }
    CRangeMapTool& RangeMap() const { return *m_pRangeMap; }

signals:
    // Ctrl+click on a stored mark: its row; add when Shift was held too (the
    // row joins the selection rather than replacing it).
    void MarkPicked(std::size_t row, bool add);
    // The pointer came to rest near the stored mark of a row.
    void MarkHovered(std::size_t row);
    // A double-click near stored mark markIndex (of the session's mark
    // lists): its pair of marks to take back as the current marks.
    void MarkDoubleClicked(std::size_t markIndex);
    // A click at pixel of eye's image: a current mark to set.
    void PixelClicked(Eye eye, const ImagePoint& pixel);
    // Shift+click on the range map: its marks at left and right, with the
    // 1-sigma per coordinate of each, to measure.
    void DensePointPicked(const ImagePoint& left, const ImagePoint& right, double sigmaPx);
    // A click on the image shown alone was measured: record, to join the
    // document's measurements.
    void MonoMeasured(const MeasurementRecord& record);
    // Ctrl+End or Ctrl+Shift+Home (save the image database), Ctrl+Home
    // (reload it and save it: reload true).
    void StoreKeyPressed(bool reload);
    // Files were dropped on the view: a pair, or one image.
    void FilesDropped(const std::vector<std::string>& files);
    // Space: calculate the current marks.
    void SpacePressed();
    // Auto-Match was turned on or off.
    void AutoMatchChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Layouts {
        std::optional<SideLayout> left;
        std::optional<SideLayout> right;
    };
    struct Hit {
        ScreenToImageResult left;
        ScreenToImageResult right;
    };

    Layouts BothLayouts() const;
    Hit HitTest(IntPoint p, const Layouts& layouts) const;
    bool InEitherPanel(IntPoint p, const Layouts& layouts) const;

    void OnMouseMove(IntPoint p);
    void OnLButtonDown(IntPoint p);
    void OnLButtonUp(IntPoint p);
    void OnRButtonDown(IntPoint p);
    void OnRButtonUp(IntPoint p);
    void OnLButtonDblClk(IntPoint p);
    // false: the key goes on to default processing.
    bool OnKeyDown(int key, int repeatCount, Qt::KeyboardModifiers modifiers);
    void StepZoom(int direction, int repeatCount, Qt::KeyboardModifiers modifiers);
    // Pans the panel that holds both the last drag point and p; false when
    // they are not in the same panel.
    bool ApplyDrag(IntPoint p, const Layouts& layouts, bool updateLast);

    void DrawEpipolarCurve(QPainter& p, ViewSide side, const SideLayout& layout) const;
    // Highlighted marks and error ellipses, over the stored marks.
    void DrawWorkspaceMarks(QPainter& p, ViewSide side, const SideLayout& layout) const;
    // The grey images go with the images they were made from.
    void DropAssist() {
        m_pAssist.reset();
        m_nAssistCameras = static_cast<std::size_t>(-1);
        ++m_nCameraChanges;
    }

    // Zoom and pans for the fit mode and the present size; nothing when off.
    void ApplyFit();
    // A new pair opens fitted when either image is larger than its panel.
    void ChooseOpeningZoom();
    // The hint an empty window shows (ChildViewFit.cpp).
    void DrawEmptyHint(QImage& buffer) const;

    void ReadSettings();
    void ReleaseImages();
    void ResetZoomAndPan();

    IUiServices& m_ui;
    const PairDocument& m_doc;

    bool m_bOpening = false; // a pair is being read
    bool m_bVertexIndices = false;
    std::int32_t m_nZoomStep = 0;
    bool m_bDisableBeeps = false;
    double m_dZoom = 1.0;
    PanOffset m_ptLeftOffset;
    PanOffset m_ptRightOffset;
    FitMode m_eFit = FitMode::Off;
    std::unique_ptr<CImage> m_pLeftImage;
    std::unique_ptr<CImage> m_pRightImage;
    bool m_bHoverVertex = false;
    std::uint32_t m_nHoverVertex = 0;
    std::string m_sFilePath;
    IntPoint m_ptDragLast;
    bool m_bDragging = false;
    mutable QImage m_buffer;
    bool m_bEpipolarCurve = true;
    bool m_bAutoMatch = false;
    mutable std::unique_ptr<AssistedPair> m_pAssist;
    std::vector<std::size_t> m_vHighlightedRows;
    bool m_bErrorEllipses = false;
    // The error ellipse of each row in each image (left, right), kept while
    // the measurements and the pair's cameras stay as they were.
    mutable std::vector<std::optional<ImageEllipse>> m_vEllipses[2];
    mutable std::size_t m_nEllipsesRevision = static_cast<std::size_t>(-1);
    mutable std::size_t m_nEllipsesCameras = static_cast<std::size_t>(-1);
    std::size_t m_nCameraChanges = 0; // grows whenever the cameras may differ
    mutable std::size_t m_nAssistCameras = static_cast<std::size_t>(-1); // what m_pAssist has
    std::function<void(const std::string&)> m_fnStatus;
    ProgressSink m_fnBackgroundProgress;
    std::string m_sStatus;
    CStereoWindow* m_pStereoWindow = nullptr; // a window of its own, owned by this view
    std::unique_ptr<CRangeMapTool> m_pRangeMap;
    // Shift+click: a measurement from the range map; false when it was not one.
    bool RangeMapClick(IntPoint p);
    void CreateStereoTools();
    void DrawRangeMap(QPainter& p, const SideLayout& layout) const;
    // The range map's readout of a left pixel in the status bar.
    void ShowRangeReadout(const ImagePoint& left);
    COneImageView* m_pOneImage = nullptr; // a child of the view, made when first needed
    // The open pair's range map as the surface of file alone, when it was
    // taken from the pair's rover position (ChildViewOneImage.cpp).
    std::optional<MonoSurface> DenseSurfaceFor(const std::string& file) const;
};
