// One image alone (File > Open Image, one file on the command line or
// dropped): the image fitted to the window (the zoom commands, the wheel and
// a right-drag zoom and pan it), and a click measures by meeting the pixel's
// ray with, in this order, the dense range map of its pair (when one was
// computed), the plane fitted to the stereo measurements the session held
// when the image was opened (when they were made from the same rover
// position), and the ground plane. Each result is given to the document's
// owner (Measured) to join its measurements as a monoscopic row; the rows
// are drawn with the table's selection and,
// with View > Error Ellipses, its error ellipse. It lies over the stereo view
// while it is shown.
#pragma once

#include "session/PairDocument.h"
#include "stereo/ImageEllipse.h"
#include "stereo/MonoRange.h"
#include "ui/UiServices.h"
#include "viewer/Image.h"

#include <QWidget>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QPainter;

// Why a stereo command does nothing while one image is shown.
inline constexpr const char* kNeedsPairReason =
    "Needs a stereo pair: one image is open (File > Open Stereo Pair)";
// The commands that need both images of a pair.
bool IsStereoCommand(int commandId);

class COneImageView : public QWidget {
    Q_OBJECT
public:
    // Covers parent (and follows its size); hidden until Open.
    // The image's camera is posed by the document's image database.
    COneImageView(IUiServices& ui, const PairDocument& doc, QWidget* parent);

    // Reads the image and its camera (the product's own model, or the
    // catalogue camera of its name with its database record) and shows it;
    // the plane of the session's stereo measurements is fitted (the document
    // is then to open the image alone). False, and a message, when the image
    // cannot be read; what was open stays then.
    // dense: the range map of a pair taken from the same rover position
    // (its frame, the document's output frame): clicks meet it first, and
    // the ground plane where it shows nothing.
    bool Open(const std::string& file, std::optional<MonoSurface> dense = std::nullopt);
    // Hides the view and drops the image (a pair was opened).
    void Close();
    bool IsOpen() const { return static_cast<bool>(m_pImage); }
    const std::string& File() const { return m_sFile; }
    const CImage* Image() const { return m_pImage.get(); }
    const MonoCamera& Camera() const { return m_camera; }

    // The ground plane's height sigma (metres), the document's.
    double HeightSigmaM() const { return m_doc.GroundHeightSigmaM(); }
    bool HasDenseMap() const { return m_dense.has_value(); }
    // The plane fitted to the session's stereo points when the image was
    // opened; when the session had such points but gave no plane, why not.
    const std::optional<MonoSurface>& FittedPlane() const { return m_fitted; }
    const std::string& FittedPlaneProblem() const { return m_sFittedProblem; }

    // The table's selected rows, drawn highlighted, and whether each
    // monoscopic row's error ellipse is drawn (View > Error Ellipses).
    void SetHighlightedRows(std::vector<std::size_t> rows);
    const std::vector<std::size_t>& HighlightedRows() const { return m_vHighlightedRows; }
    void SetErrorEllipsesShown(bool shown);
    bool ErrorEllipsesShown() const { return m_bErrorEllipses; }
    // Row's error ellipse in the image's pixels, around its pixel; empty for
    // a stereo row, one without uncertainty, or one that does not project
    // onto its pixel through this image's camera.
    std::vector<ImagePoint> ErrorEllipseOf(std::size_t row) const;

    // The image pixel shown at a point of the widget, when the image is there.
    std::optional<ImagePoint> PixelAt(const QPoint& p) const;
    // Where an image pixel is drawn.
    QPointF WidgetPointOf(const ImagePoint& pixel) const;
    // A click at pixel: measures; a result is said as Measured, a refusal on
    // the status bar. Returns the result.
    MonoRangeResult MeasureAt(const ImagePoint& pixel);

    // The zoom commands while it is shown: View > Fit to Window and Reset
    // fit the image, Actual Size shows one screen pixel per image pixel, and
    // the zoom keys enlarge (factor above 1) or shrink it about the centre.
    void FitImage();
    void ShowActualSize();
    void ZoomBy(double factor);
    // Image pixels per widget pixel relative to the fitted image: 1 fitted.
    double ZoomFactor() const { return m_dZoom; }

    // Where the view's notes go (the status bar).
    void SetStatusSink(std::function<void(const std::string&)> sink) {
        m_fnStatus = std::move(sink);
    }
    const std::string& StatusText() const { return m_sStatus; }

signals:
    // A click measured record, to join the document's measurements.
    void Measured(const MeasurementRecord& record);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowStatus(const std::string& text);
    // The image's place in the widget: scale and top-left corner.
    struct Placement {
        double scale = 1.0;
        double left = 0.0;
        double top = 0.0;
    };
    Placement Place() const;
    // Zooms by factor about a widget point, which stays on the same pixel.
    void ZoomAbout(double factor, const QPointF& at);
    // The plane of the session's stereo points, for m_camera.
    void FitSessionPlane();
    // The ellipses of the rows, projected again when the measurements changed.
    const std::vector<std::optional<ImageEllipse>>& Ellipses() const;
    void DrawWorkspace(QPainter& p) const;

    IUiServices& m_ui;
    const PairDocument& m_doc;
    std::string m_sFile;
    std::unique_ptr<CImage> m_pImage;
    MonoCamera m_camera;
    std::optional<MonoSurface> m_dense;
    std::optional<MonoSurface> m_fitted;
    std::string m_sFittedProblem;
    std::vector<std::size_t> m_vHighlightedRows;
    bool m_bErrorEllipses = false;
    mutable std::vector<std::optional<ImageEllipse>> m_vEllipses;
    mutable std::optional<std::size_t> m_nEllipsesRevision;
    double m_dZoom = 1.0;              // over the fitted scale
    QPointF m_pan;                     // of the image's centre from the widget's, widget pixels
    std::optional<QPointF> m_dragFrom; // a right-button drag pans
    std::function<void(const std::string&)> m_fnStatus;
    std::string m_sStatus;
};
