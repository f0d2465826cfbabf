// One image alone (File > Open Image, one file on the command line or
// dropped): the image fitted to the window (the zoom commands, the wheel and
// a right-drag zoom and pan it), and a click measures by meeting
// the pixel's ray with the dense range map of its pair, when one was
// computed, else with the ground plane. Each result joins the open
// document's measurements as a monoscopic row. It lies over the stereo view
// while it is shown.
#pragma once

#include "session/PairDocument.h"
#include "stereo/MonoRange.h"
#include "ui/UiServices.h"
#include "viewer/Image.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class ImageDatabase;

// Why a stereo command does nothing while one image is shown.
inline constexpr const char* kNeedsPairReason =
    "Needs a stereo pair: one image is open (File > Open Stereo Pair)";
// The commands that need both images of a pair.
bool IsStereoCommand(int commandId);

class COneImageView : public QWidget {
    Q_OBJECT
public:
    // Covers parent (and follows its size); hidden until Open.
    COneImageView(IUiServices& ui, ImageDatabase& db, PairDocument& doc, QWidget* parent);

    // Reads the image and its camera (the product's own model, or the
    // catalogue camera of its name with its database record) and shows it;
    // the document opens it alone. False, and a message, when the image
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

    // The ground plane's height sigma (metres); values below 0 are refused.
    double HeightSigmaM() const { return m_surface.heightSigmaM; }
    bool SetHeightSigmaM(double m);
    const MonoSurface& Surface() const { return m_surface; }
    bool HasDenseMap() const { return m_dense.has_value(); }

    // The image pixel shown at a point of the widget, when the image is there.
    std::optional<ImagePoint> PixelAt(const QPoint& p) const;
    // Where an image pixel is drawn.
    QPointF WidgetPointOf(const ImagePoint& pixel) const;
    // A click at pixel: measures; a result joins the measurements, a refusal
    // is said on the status bar. Returns the result.
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

    IUiServices& m_ui;
    ImageDatabase& m_db;
    PairDocument& m_doc;
    std::string m_sFile;
    std::unique_ptr<CImage> m_pImage;
    MonoCamera m_camera;
    MonoSurface m_surface = GroundSurface();
    std::optional<MonoSurface> m_dense;
    double m_dZoom = 1.0;              // over the fitted scale
    QPointF m_pan;                     // of the image's centre from the widget's, widget pixels
    std::optional<QPointF> m_dragFrom; // a right-button drag pans
    std::function<void(const std::string&)> m_fnStatus;
    std::string m_sStatus;
};
