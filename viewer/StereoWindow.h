// View > Stereo: the open pair for the eyes, rectified so that partners
// share a row: a red/cyan anaglyph (grey, or in colour for colour images)
// or the two images side by side for cross-eyed or parallel viewing. Zoom
// and pan as in the stereo view; the shown picture exports as PNG.
#pragma once

#include "stereo/StereoImage.h"
#include "ui/UiServices.h"
#include "viewer/StereoSource.h"

#include <QImage>
#include <QWidget>

#include <array>
#include <optional>

class QComboBox;
class QLabel;

enum class StereoPictureMode { GreyAnaglyph, ColourAnaglyph, CrossEyed, Parallel };

// The picture area: the image at a zoom, panned by dragging.
class CStereoCanvas : public QWidget {
    Q_OBJECT
public:
    explicit CStereoCanvas(QWidget* parent = nullptr);
    // A new picture; the zoom and pan stay when it has the size of the last.
    void SetPicture(QImage picture);
    const QImage& Picture() const { return m_picture; }
    double Zoom() const { return m_zoom; }
    QPointF Pan() const { return m_pan; }
    // The whole picture in the window.
    void FitToWindow();
    void ActualSize();
    // Steps of the stereo view's zoom (positive: smaller), about the middle.
    void ZoomBySteps(int steps);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ZoomAbout(double factor, QPointF screen);

    QImage m_picture;
    double m_zoom = 1.0;
    QPointF m_pan; // screen position of the picture's top-left corner
    bool m_fitted = true;
    bool m_dragging = false;
    QPoint m_dragLast;
};

class CStereoWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Stereo";
    static constexpr const char* kExportTitle = "Export Stereo Picture";

    CStereoWindow(IUiServices& ui, QWidget* parent = nullptr);

    // The open pair (rectified here); a source without a rectification
    // shows why instead of a picture.
    void SetSource(const StereoSource& source);
    StereoPictureMode Mode() const { return m_mode; }
    void SetMode(StereoPictureMode mode);
    // The colour anaglyph is offered for colour pairs only.
    bool HasColour() const { return m_leftColour.has_value(); }
    const CStereoCanvas& Canvas() const { return *m_canvas; }
    CStereoCanvas& Canvas() { return *m_canvas; }
    // What the canvas shows, as exported.
    const RgbImage& Shown() const { return m_shown; }
    // The export command: a save chooser, then the PNG; false when nothing
    // was written (cancelled, or said why).
    bool ExportPicture();

private:
    void Rebuild();

    IUiServices& m_ui;
    StereoPictureMode m_mode = StereoPictureMode::GreyAnaglyph;
    GreyImage m_left;
    GreyImage m_right;
    std::optional<ColourPlanes> m_leftColour;
    std::optional<ColourPlanes> m_rightColour;
    RgbImage m_shown;
    QComboBox* m_modes = nullptr;
    QLabel* m_problem = nullptr;
    CStereoCanvas* m_canvas = nullptr;
};
