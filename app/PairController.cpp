#include "app/PairController.h"

#include "base/Format.h"
#include "base/Paths.h"
#include "imagedb/ImageDatabase.h"
#include "imagedb/StoreTransaction.h"
#include "matching/Corners.h"
#include "products/PairIdentification.h"
#include "products/ProductCamera.h"
#include "ui/UiMessageSink.h"
#include "ui/UiServices.h"
#include "viewer/ChildView.h"
#include "viewer/OneImageView.h"

#include <QMetaObject>
#include <QSettings>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <optional>
#include <vector>

CPairController::CPairController(IUiServices& ui, ImageDatabase& db)
    : m_ui(ui), m_db(db), m_doc(db) {
    QSettings settings(CChildView::kSettingsName, CChildView::kSettingsName);
    settings.beginGroup(CChildView::kSettingsName);
    SetClickSigmaPx(settings.value("m_dClickSigmaPx", PixelSigmas{}.leftPx).toDouble());
    m_doc.Subscribe([this](PairDocument::Change change) {
        if (change == PairDocument::Change::Measurements || change == PairDocument::Change::Pair) {
            emit MeasurementsChanged();
        }
    });
    m_decoder.SetFinished([this](DecodedPair images) { OnPairDecoded(std::move(images)); });
    m_decoder.SetSideDone([this](bool leftDone) {
        const std::string& other = leftDone ? m_sOpeningRight : m_sOpeningLeft;
        View().ShowStatus("Reading " + PathTitle(other) + "...");
    });
}

void CPairController::SetView(CChildView& view) {
    m_pView = &view;
    connect(&view, &CChildView::PixelClicked, this, &CPairController::OnPixelClicked);
    connect(&view, &CChildView::MarkDoubleClicked, this, &CPairController::OnMarkDoubleClicked);
    connect(&view, &CChildView::DensePointPicked, this, &CPairController::OnDensePointPicked);
    connect(&view, &CChildView::MonoMeasured, this, &CPairController::OnMonoMeasured);
    connect(&view, &CChildView::StoreKeyPressed, this, &CPairController::SaveOrReloadStore);
    connect(&view, &CChildView::FilesDropped, this, [this](const std::vector<std::string>& files) {
        if (files.size() == 1) {
            OpenImageFile(files[0]);
        } else if (files.size() == 2) {
            OpenPairFiles(files[0], files[1]);
        }
    });
    connect(&view, &CChildView::SpacePressed, this, &CPairController::OnSpace);
    connect(&view, &CChildView::AutoMatchChanged, this, [this] {
        if (ICalcDialog* dlg = CalcDialog()) {
            dlg->AutoMatchChanged();
        }
    });
}

void CPairController::LoadStore(bool storeNamed) {
    ImageDatabase& db = m_db;
    std::error_code ec;
    if (!storeNamed && !std::filesystem::exists(db.StorePath(), ec)) {
        // Products carry their own models: without a database there is
        // nothing to warn of until a catalogue measurement needs a record.
        View().ShowStatus("No image database at " + db.StorePath() +
                          ": catalogue cameras measure without database records");
        return;
    }
    db.LoadStore();
}

bool CPairController::SetClickSigmaPx(double px) {
    return std::isfinite(px) && m_doc.SetClickSigmaPx(px);
}

CPairController::~CPairController() {
    m_pCalcDlg.reset();
    m_bCalcDlgOpen = false;
    QSettings settings(CChildView::kSettingsName, CChildView::kSettingsName);
    settings.beginGroup(CChildView::kSettingsName);
    settings.setValue("m_dClickSigmaPx", m_doc.ClickSigmaPx());
}

void CPairController::OpenCalcDialog() {
    m_bCalcDlgOpen = true;
    if (!m_fnCalcDialogFactory) {
        return;
    }
    m_pCalcDlg = m_fnCalcDialogFactory(*this);
    if (!m_pCalcDlg) {
        return;
    }
    m_pCalcDlg->ShowDialog();
    // A dialog shown again shows the open pair's cameras and the marks set
    // while it was hidden.
    if (View().HasBothImages()) {
        const PairDocument& doc = m_doc;
        if (const auto l = doc.Mark(Eye::Left)) {
            m_pCalcDlg->SetLeftPixel(l->x, l->y);
        }
        if (const auto r = doc.Mark(Eye::Right)) {
            m_pCalcDlg->SetRightPixel(r->x, r->y);
        }
        m_pCalcDlg->UpdateImageInfo();
    }
    TakeDialogOptions();
}

void CPairController::CloseCalcDialog() {
    m_bCalcDlgOpen = false;
    if (m_pCalcDlg) {
        m_pCalcDlg->HideDialog();
        m_pCalcDlg.reset();
    }
}

void CPairController::OnShowCalcControl() {
    if (m_bCalcDlgOpen) {
        CloseCalcDialog();
    } else {
        OpenCalcDialog();
    }
}

void CPairController::OnCalcDlgClosed() {
    CloseCalcDialog();
}

void CPairController::CalcDialogClosed() {
    // The dialog is still inside its own handler: forget it once that
    // returns, and only if it is still the dialog held.
    const ICalcDialog* closing = m_pCalcDlg.get();
    QMetaObject::invokeMethod(
        this,
        [this, closing] {
            if (m_pCalcDlg.get() == closing) {
                OnCalcDlgClosed();
            }
        },
        Qt::QueuedConnection);
}

void CPairController::TakeDialogOptions() {
    // The rig is rebuilt only when they differ from the document's.
    if (const ICalcDialog* dlg = CalcDialog()) {
        if (const auto options = dlg->CurrentOptions()) {
            m_doc.SetOptions(*options);
        }
    }
}

void CPairController::OnPixelClicked(Eye eye, const ImagePoint& pixel) {
    PairDocument& doc = m_doc;
    doc.FollowDatabase(); // the cameras the partner is matched through
    // A click on a matched mark corrects it: it is not matched back.
    const bool correction = doc.Session().Mark(eye) && doc.Session().Origin(eye).matched;
    doc.SetMark(eye, pixel);
    if (View().AutoMatch() && !correction) {
        MatchPartner(eye, pixel);
    }
    ICalcDialog* dlg = CalcDialog();
    if (dlg == nullptr) {
        return;
    }
    // The clicked mark, and a partner matched to it.
    const MeasurementSession& session = m_doc.Session();
    for (const Eye e : {Eye::Left, Eye::Right}) {
        const std::optional<ImagePoint> mark = session.Mark(e);
        if (mark && (e == eye || session.Origin(e).matched)) {
            if (e == Eye::Left) {
                dlg->SetLeftPixel(mark->x, mark->y);
            } else {
                dlg->SetRightPixel(mark->x, mark->y);
            }
        }
    }
    dlg->UpdateImageInfo();
}

void CPairController::MatchPartner(Eye clicked, const ImagePoint& click) {
    const AssistedPair* assist = View().Assist();
    if (assist == nullptr) {
        return;
    }
    const Eye other = clicked == Eye::Left ? Eye::Right : Eye::Left;
    PairDocument& doc = m_doc;
    const MatchResult r = assist->Match(clicked, click);
    if (!r.ok) {
        // A partner matched to an earlier click is not this click's partner.
        if (doc.Session().Origin(other).matched) {
            doc.Session().ClearMark(other);
        }
        View().ShowStatus("No match: " + r.reason + "; click the partner");
        return;
    }
    doc.SetMatchedMark(other, r.pixel, r.score, r.sigmaPx);
    View().ShowStatus(StrFormat("Matched (%.2f, %.2f): score %.3f, ambiguity %.2f, back %.2f px",
                                r.pixel.x, r.pixel.y, r.score, r.ambiguity, r.consistencyPx));
}

void CPairController::ShowReselectedMarks() {
    ICalcDialog* dlg = CalcDialog();
    if (dlg == nullptr) {
        return;
    }
    const MeasurementSession& session = m_doc.Session();
    const ImagePoint l = *session.Mark(Eye::Left);
    const ImagePoint r = *session.Mark(Eye::Right);
    dlg->SetLeftPixel(l.x, l.y);
    dlg->SetRightPixel(r.x, r.y);
    dlg->UpdateImageInfo();
}

void CPairController::OnOpenStereoPair() {
    FileChooserRequest request;
    request.title = kOpenPairTitle;
    request.filter = kImageFilter;
    request.startFolder = View().FilePath();
    request.multiSelect = true;
    const std::vector<std::string> chosen = m_ui.ChooseOpenFiles(request);
    if (chosen.empty() || !CanLeavePair()) {
        // Cancelled: the pair on screen and its measurements stay as they were.
        return;
    }
    LoadChosenFiles(chosen);
}

void CPairController::OpenPairFiles(const std::string& leftFile, const std::string& rightFile) {
    if (!CanLeavePair()) {
        return;
    }
    LoadChosenFiles({rightFile, leftFile});
}

void CPairController::LoadChosenFiles(const std::vector<std::string>& paths) {
    // A raw image's record opens its image, bare product pixels their label.
    std::string files[2];
    for (std::size_t i = 0; i < paths.size() && i < 2; ++i) {
        files[i] = ImageFileToOpen(paths[i]);
    }
    // A file that is not there changes nothing: the open pair stays.
    for (const std::string& file : files) {
        std::error_code ec;
        if (!file.empty() && !std::filesystem::exists(file, ec)) {
            m_ui.ShowMessage("Unable to open " + file + ": the file does not exist");
            return;
        }
    }
    CancelOpening();
    m_ui.BeginWaitCursor();
    // One file chosen: it becomes the right image beside the open left one.
    m_sOpeningRight = files[0];
    m_sOpeningLeft = paths.size() >= 2 ? files[1] : m_doc.Session().LeftFile();
    if (!m_sOpeningLeft.empty()) {
        View().SetFilePath(PathFolder(m_sOpeningLeft));
    }
    const bool background = DecodeInBackground(m_sOpeningLeft, m_sOpeningRight);
    m_decoder.Start(m_sOpeningLeft, m_sOpeningRight);
    if (!background) {
        WaitForImages();
        return;
    }
    View().SetOpening(true);
    View().ShowStatus("Reading " + PathTitle(m_sOpeningLeft) + " and " +
                      PathTitle(m_sOpeningRight) + "...");
    m_bReadingShown = true;
}

void CPairController::WaitForImages() {
    if (std::optional<DecodedPair> images = m_decoder.Wait()) {
        OnPairDecoded(std::move(*images));
    }
}

void CPairController::CancelOpening() {
    if (!m_decoder.Busy()) {
        return;
    }
    m_decoder.Cancel();
    View().SetOpening(false);
    // The wait cursor of the dropped opening.
    m_ui.EndWaitCursor();
    if (m_bReadingShown) {
        m_bReadingShown = false;
        View().ShowStatus("");
    }
}

void CPairController::OnPairDecoded(DecodedPair images) {
    View().SetOpening(false);
    if (m_bReadingShown) {
        m_bReadingShown = false;
        View().ShowStatus("");
    }
    m_ui.EndWaitCursor();
    // An image that cannot be read changes nothing: the open pair stays,
    // and the first reason is said once.
    for (const std::unique_ptr<CImage>* image : {&images.left, &images.right}) {
        if (!*image || !(*image)->IsValid()) {
            m_ui.ShowMessage(*image ? (*image)->GetLastError() : std::string("Unable to open"));
            View().Repaint();
            return;
        }
    }

    m_doc.Open({m_sOpeningLeft, m_sOpeningRight, images.Sizes(), m_doc.Setup().options});
    View().ShowPair(std::move(images));
    const MeasurementSession& session = m_doc.Session();
    const PairIdentification id =
        IdentifyPair(PathTitle(session.LeftFile()), PathTitle(session.RightFile()));
    if (!id.bRecognised) {
        m_ui.ShowMessage("Verify Rover and Camera Selection");
    } else if (id.bSwap) {
        OnSwapImages();
    } else if (id.bVerify) {
        m_ui.ShowMessage("Verify Correct Left/Right Images");
    }

    // A new pair starts with empty results in the Analyse dialog.
    if (!m_bCalcDlgOpen) {
        OpenCalcDialog();
    } else if (ICalcDialog* dlg = CalcDialog()) {
        dlg->ClearResults();
        dlg->UpdateImageInfo();
    }
    ReportProductModels();
    View().CompletionBeep();
}

void CPairController::ReportProductModels() {
    if (!View().HasBothImages()) {
        return;
    }
    const StereoRig& rig = m_doc.Rig();
    std::string text;
    if (!rig.Warning().empty()) {
        text = "Warning: " + rig.Warning();
    } else if (!rig.Problem().empty() && !rig.MissingCamera()) {
        text = rig.Problem();
    } else if (rig.ProductModels()) {
        text = "Camera models from the products: " + rig.ModelSource(Eye::Left) + " | " +
               rig.ModelSource(Eye::Right) +
               (rig.Note().empty() ? std::string() : " (" + rig.Note() + ")");
    }
    for (const ViewSide side : {ViewSide::Left, ViewSide::Right}) {
        if (View().Image(side)->WasMosaic()) {
            text += std::string(text.empty() ? "" : "; ") +
                    (side == ViewSide::Left ? "left" : "right") +
                    " image: a raw colour mosaic, shown and matched as its luminance";
        }
    }
    if (!text.empty() || !View().StatusText().empty()) {
        View().ShowStatus(text); // nothing said of the last pair holds for this one
    }
}

void CPairController::OnOpenImage() {
    FileChooserRequest request;
    request.title = kOpenImageTitle;
    request.filter = kImageFilter;
    request.startFolder = View().FilePath();
    const std::vector<std::string> chosen = m_ui.ChooseOpenFiles(request);
    if (chosen.empty()) {
        return;
    }
    OpenImageFile(chosen.front());
}

void CPairController::OpenImageFile(const std::string& file) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        m_ui.ShowMessage("Unable to open " + file + ": the file does not exist");
        return;
    }
    if (!CanLeavePair()) {
        return;
    }
    CancelOpening();
    const std::optional<ImageSize> size = View().ShowOneImage(file);
    if (!size) {
        return;
    }
    m_doc.Open({View().OneImage()->File(), {}, {*size, std::nullopt}, m_doc.Setup().options});
    View().UpdateTitle();
    if (m_bCalcDlgOpen) {
        // The stereo dialog has nothing to do with one image.
        CloseCalcDialog();
    }
}

void CPairController::OnSwapImages() {
    if (!View().HasBothImages()) {
        return;
    }
    m_doc.SwapEyes();
    View().SwapImages();
    if (ICalcDialog* dlg = CalcDialog()) {
        dlg->UpdateImageInfo();
    }
}

void CPairController::OnMarkDoubleClicked(std::size_t markIndex) {
    MeasurementSession& session = m_doc.Session();
    const MeasurementSession::CurrentMarks before = session.CurrentMarkState();
    const std::optional<std::size_t> row = session.RowOfMarkIndex(markIndex);
    if (!session.Reselect(markIndex)) {
        return;
    }
    if (row) {
        emit MeasurementReselected(*row, before);
    }
    ShowReselectedMarks();
}

void CPairController::OnDensePointPicked(const ImagePoint& left, const ImagePoint& right,
                                         double sigmaPx) {
    const PairDocument::Measured m = m_doc.MeasureDense(left, right, sigmaPx, UtcNow());
    if (!m.row) {
        m_ui.ShowMessage(m.problem);
        return;
    }
    emit MeasurementsAppended(*m.row, 1, QStringLiteral("Measure from Range Map"));
}

void CPairController::OnMonoMeasured(const MeasurementRecord& record) {
    m_doc.Session().Append(record);
    m_doc.Touch(PairDocument::Change::Measurements);
}

void CPairController::SaveOrReloadStore(bool reload) {
    ImageDatabase& db = m_db;
    const ScopedUiMessages messages(m_ui);
    if (reload) {
        ChangeStore(db, db.StorePath(), [](ImageDatabase&) { return true; });
    } else {
        SaveTableAsStore(db, db.StorePath());
    }
    m_doc.FollowDatabase();
}

void CPairController::OnSpace() {
    const MeasurementSession& session = m_doc.Session();
    const bool leftSet = session.Mark(Eye::Left).has_value();
    const bool rightSet = session.Mark(Eye::Right).has_value();
    if (leftSet && rightSet) {
        if (ICalcDialog* dlg = CalcDialog()) {
            dlg->OnCalculate();
        } else {
            View().ShowStatus("The Analyse dialog is hidden: View > Show Calc Control shows it "
                              "to calculate the marked pixels");
        }
    } else if (leftSet) {
        m_ui.ShowMessage("Need to select right pixel");
    } else if (rightSet) {
        m_ui.ShowMessage("Need to select left pixel");
    } else {
        m_ui.ShowMessage("Need to select left and right pixels");
    }
}

void CPairController::OnAutoDetectVertexPairs() {
    const AssistedPair* assist = View().Assist();
    if (assist == nullptr) {
        m_ui.ShowMessage("Open a stereo pair first");
        return;
    }
    if (!assist->HasCameras()) {
        m_ui.ShowMessage(assist->CamerasProblem().empty()
                             ? std::string("Select the cameras of both images first")
                             : "No cameras to match with: " + assist->CamerasProblem());
        return;
    }
    if (!m_bCalcDlgOpen) {
        OpenCalcDialog();
    }
    ICalcDialog* dlg = CalcDialog();
    if (dlg == nullptr) {
        return;
    }
    const std::optional<PixelRect> area = View().LeftImageOnScreen();
    if (!area) {
        m_ui.ShowMessage("No part of the left image is on screen");
        return;
    }

    const DetectOptions options;
    std::atomic<bool> cancel = false;
    DetectResult found;
    {
        const std::unique_ptr<IProgress> progress =
            m_ui.BeginProgress("Auto-Detect Vertex Pairs", options.maxPoints);
        found = DetectVertexPairs(
            assist->Matcher(), *area, options,
            [&](int done, int) {
                progress->SetValue(done);
                if (progress->Cancelled()) {
                    cancel = true;
                }
            },
            &cancel);
    }

    // Each pair through CALCULATE, as if clicked and matched.
    PairDocument& doc = m_doc;
    std::vector<std::string> messages;
    const std::size_t before = doc.Session().Vertices().size();
    for (const DetectedPair& pair : found.pairs) {
        doc.SetMark(Eye::Left, pair.left);
        doc.SetMatchedMark(Eye::Right, pair.match.pixel, pair.match.score, pair.match.sigmaPx);
        dlg->SetLeftPixel(pair.left.x, pair.left.y);
        dlg->SetRightPixel(pair.match.pixel.x, pair.match.pixel.y);
        dlg->CalculateQuietly(messages);
    }
    const std::size_t appended = doc.Session().Vertices().size() - before;
    if (appended > 0) {
        // One step that undo takes back whole.
        emit MeasurementsAppended(doc.Session().Measurements().size() - appended, appended,
                                  QStringLiteral("Auto-Detect Vertex Pairs"));
    }
    View().Repaint();
    std::string summary = StrFormat(
        "Auto-Detect Vertex Pairs%s: %d corners found, %d matched, %d refused; %u measurements "
        "appended",
        found.cancelled ? " (cancelled)" : "", found.found, found.matched, found.refused,
        static_cast<unsigned>(appended));
    if (!messages.empty()) {
        summary += StrFormat("\n%u calculations failed: %s", static_cast<unsigned>(messages.size()),
                             messages.front().c_str());
    }
    SignalCompletion(m_ui, View().BeepsDisabled(), summary);
}

std::string CPairController::LeftFile() const {
    return m_doc.Session().LeftFile();
}

std::string CPairController::RightFile() const {
    return m_doc.Session().RightFile();
}

PairDocument* CPairController::OpenPair() {
    return &m_doc;
}

void CPairController::AppendMeasurement(const ImagePoint& left, const ImagePoint& right,
                                        const VertexRecord& vertex, const std::string& logEntry) {
    PairDocument& doc = m_doc;
    doc.Session().Append(left, right, vertex, logEntry, vertex.m_ptPosition);
    doc.Touch(PairDocument::Change::Measurements);
    View().Repaint();
}

void CPairController::AppendMeasurementRecord(const MeasurementRecord& record) {
    PairDocument& doc = m_doc;
    MeasurementRecord r = record;
    // A re-selected mark is recorded as such; a matched one keeps its source.
    for (const Eye eye : {Eye::Left, Eye::Right}) {
        PixelSource& source = eye == Eye::Left ? r.leftSource : r.rightSource;
        if (source == PixelSource::Clicked) {
            source = doc.Session().CurrentSource(eye);
        }
    }
    doc.Session().Append(std::move(r));
    doc.Touch(PairDocument::Change::Measurements);
    View().Repaint();
}

bool CPairController::AutoMatch() const {
    return View().AutoMatch();
}

void CPairController::SetAutoMatch(bool on) {
    View().SetAutoMatch(on);
}

void CPairController::CalcOptionsChanged() {
    TakeDialogOptions();
    View().Repaint();
}

DecodedImageSizes CPairController::ImageSizes() const {
    return View().ImageSizes();
}

PixelSigmas CPairController::MarkSigmas(const ImagePoint& left, const ImagePoint& right) const {
    const PairDocument& doc = m_doc;
    return doc.Session().MarkSigmas(doc.ClickSigmaPx(), left, right);
}
