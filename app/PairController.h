// The open pair's controller: it owns the pair's document (files, options,
// cameras, marks and measurements), opens a pair (choosing, reading and
// identifying its images) or one image, answers clicks (the marks, their
// partners matched), double-clicks, Space and CALCULATE, measurements picked
// from the range map or one image, runs Auto-Detect Vertex Pairs and owns the
// Analyse dialog, which it keeps on the open pair. The view draws the
// document and turns input into signals; it knows nothing of the dialog.
#pragma once

#include "app/CalcDialogInterface.h"
#include "session/PairDocument.h"
#include "viewer/PairDecoder.h"

#include <QObject>
#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CChildView;
class IUiServices;
class ImageDatabase;
enum class Eye;

class CPairController : public QObject, public ICalcHost {
    Q_OBJECT

public:
    using CalcDialogFactory = std::function<std::unique_ptr<ICalcDialog>(ICalcHost&)>;

    // Texts of the open choosers.
    static constexpr const char* kOpenPairTitle = "Select stereo pair of images";
    static constexpr const char* kOpenImageTitle = "Select one image";
    static constexpr const char* kImageFilter =
        "Image Files|*.bmp;*.gif;*.jpeg;*.jp2;*.jpg;*.exif;*.exf;*.png;*.tif;*.tiff;|"
        "Rover Products|*.img;*.lbl;*.xml;*.json;*.png;*.jpg|All Files|*||";

    // Reads the click sigma setting. The database is the application's.
    CPairController(IUiServices& ui, ImageDatabase& db);
    // Writes the click sigma setting.
    ~CPairController() override;
    CPairController(const CPairController&) = delete;
    CPairController& operator=(const CPairController&) = delete;

    // The view that draws Document(), made after the controller; the
    // controller answers its signals. It must go before the controller does.
    void SetView(CChildView& view);
    CChildView& View() const { return *m_pView; }

    // The open pair: its setup, the cameras it is measured with, the marks
    // and the session.
    PairDocument& Document() { return m_doc; }
    const PairDocument& Document() const { return m_doc; }

    // Loads the image database from its store, once, as the window opens.
    // storeNamed false: the store is the default one, and its absence is a
    // status-bar note, not a message.
    void LoadStore(bool storeNamed);

    // Asked before another pair (or one image) replaces the open one; false
    // keeps the open pair. The measurement table asks whether to save its rows.
    void SetLeavePairCheck(std::function<bool()> check) { m_fnCanLeavePair = std::move(check); }
    bool CanLeavePair() const { return !m_fnCanLeavePair || m_fnCanLeavePair(); }

    // The 1-sigma per coordinate of a clicked mark, in pixels (remembered in
    // the settings). Values not above 0, or not finite, are refused.
    bool SetClickSigmaPx(double px);

    // How the Analyse dialog is made; none: the dialog counts as open but
    // there is no window.
    void SetCalcDialogFactory(CalcDialogFactory factory) {
        m_fnCalcDialogFactory = std::move(factory);
    }

    // File > Open Stereo Pair.
    void OnOpenStereoPair();
    // Opens left and right as a pair the way Open Stereo Pair does after its
    // chooser (command line, Recent Pairs, a session, files dropped).
    // A pair larger than BackgroundDecodePixels() is read on worker threads:
    // the call returns at once, the status bar says what is being read and
    // the window keeps working; the rest of opening (images, title, messages,
    // the Analyse dialog) follows when both are read. Opening another pair
    // meanwhile drops this one. Smaller pairs are open when the call returns.
    // A file that is not there, or an image that cannot be read, changes
    // nothing and says why.
    void OpenPairFiles(const std::string& leftFile, const std::string& rightFile);
    // File > Open Image, and one file given or dropped: the image alone.
    void OnOpenImage();
    void OpenImageFile(const std::string& file);
    // A pair is being read.
    bool IsOpening() const { return m_decoder.Busy(); }
    // Finishes opening the pair being read, waiting for its images; does
    // nothing when none is.
    void WaitForImages();

    // View > Show Calc Control: shows or hides the Analyse dialog.
    void OnShowCalcControl();
    void OnCalcDlgClosed();
    bool IsCalcDialogOpen() const { return m_bCalcDlgOpen; }
    ICalcDialog* CalcDialog() const { return m_bCalcDlgOpen ? m_pCalcDlg.get() : nullptr; }

    // The dialog takes both current marks after a re-selection (a
    // double-click, or its redo).
    void ShowReselectedMarks();
    // Space: CALCULATE at the current marks, or why not.
    void OnSpace();
    // View > Swap Left/Right Images: the document's eyes and the view's
    // images change places.
    void OnSwapImages();
    // Finds corners in the part of the left image on screen, matches each in
    // the right image and measures every match: one step for undo.
    void OnAutoDetectVertexPairs();

    // ICalcHost
    std::string LeftFile() const override;
    std::string RightFile() const override;
    PairDocument* OpenPair() override;
    void AppendMeasurement(const ImagePoint& left, const ImagePoint& right,
                           const VertexRecord& vertex, const std::string& logEntry) override;
    void AppendMeasurementRecord(const MeasurementRecord& record) override;
    void CalcDialogClosed() override;
    bool AutoMatch() const override;
    void SetAutoMatch(bool on) override;
    void CalcOptionsChanged() override;
    DecodedImageSizes ImageSizes() const override;
    PixelSigmas MarkSigmas(const ImagePoint& left, const ImagePoint& right) const override;

signals:
    // Rows first .. first + count - 1 were appended in one step (Auto-Detect,
    // a measurement from the range map), which undo takes back as one.
    void MeasurementsAppended(std::size_t first, std::size_t count, const QString& what);
    // A double-click took row's marks back as the current marks; before is
    // what the current marks were (for undo).
    void MeasurementReselected(std::size_t row, const MeasurementSession::CurrentMarks& before);
    // The open pair's measurements changed (a calculation, a new pair).
    void MeasurementsChanged();

private:
    void OpenCalcDialog();
    void CloseCalcDialog();
    // The dialog's options choose the document's cameras.
    void TakeDialogOptions();
    // The view's signals.
    // A click sets eye's current mark; with Auto-Match on, its partner is
    // matched in the other image (unless the click corrects a matched mark).
    void OnPixelClicked(Eye eye, const ImagePoint& pixel);
    void MatchPartner(Eye clicked, const ImagePoint& click);
    // A double-click near a stored mark: its pair becomes the current marks.
    void OnMarkDoubleClicked(std::size_t markIndex);
    void OnDensePointPicked(const ImagePoint& left, const ImagePoint& right, double sigmaPx);
    void OnMonoMeasured(const MeasurementRecord& record);
    // The view's store keys: the image database saved, or reloaded and
    // saved, each one transaction on the store; a damaged store is kept
    // beside it first, and any problem is shown.
    void SaveOrReloadStore(bool reload);
    // Opening: the chosen paths (first: right image, second: left image)
    // are checked and read, now or in the background; the rest of opening
    // follows once both images are in.
    void LoadChosenFiles(const std::vector<std::string>& paths);
    void OnPairDecoded(DecodedPair images);
    // Drops the pair being read, if any.
    void CancelOpening();
    // The status bar says which camera models measure the open pair, or why
    // a product's own model cannot.
    void ReportProductModels();

    IUiServices& m_ui;
    ImageDatabase& m_db; // the application's: the document reads it, the store keys save it
    PairDocument m_doc;
    CChildView* m_pView = nullptr;
    CalcDialogFactory m_fnCalcDialogFactory;
    std::function<bool()> m_fnCanLeavePair;
    std::unique_ptr<ICalcDialog> m_pCalcDlg;
    bool m_bCalcDlgOpen = false;
    std::string m_sOpeningLeft;
    std::string m_sOpeningRight;
    bool m_bReadingShown = false; // the status bar says a pair is being read
    CPairDecoder m_decoder;       // last: a pair still being read is dropped first
};
