// The open stereo pair as one document: its setup (files, decoded sizes, the
// Analyse dialog's options), the camera rig built from it, the current marks
// and how each was set, and the session of measurements. The view draws it,
// the Analyse dialog edits it, ranvista-cli measure drives it. Qt-free:
// changes are announced to subscribers, which the application turns into Qt
// signals. No file is read on a click or a calculation: the rig is rebuilt
// only when the setup changes.
#pragma once

#include "session/MeasurementSession.h"
#include "stereo/MonoRange.h"
#include "stereo/StereoRig.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class ImageDatabase;

class PairDocument {
public:
    // What changed, for subscribers.
    enum class Change {
        Pair,         // another pair (or none): everything else changed with it
        Cameras,      // the rig was rebuilt (options, decoded sizes, database)
        Marks,        // a current mark was set or cleared
        Measurements, // a measurement was added, removed, restored or edited
    };
    using Subscriber = std::function<void(Change)>;

    // db is where image records are looked up; it outlives the document.
    explicit PairDocument(const ImageDatabase& db);
    PairDocument(const PairDocument&) = delete;
    PairDocument& operator=(const PairDocument&) = delete;

    // Called after every change, in the order subscribed. Returns a handle
    // for Unsubscribe. Watching changes nothing: those who only draw the
    // document subscribe to it too.
    std::size_t Subscribe(Subscriber subscriber) const;
    void Unsubscribe(std::size_t handle) const;

    // A new pair: the stored marks and the measurements of the last pair go
    // (the current marks and the log, and with it what is unsaved, stay);
    // the rig is built.
    void Open(const PairSetup& setup);
    // Nothing open any more; the log stays.
    void Close();
    bool IsOpen() const { return !m_setup.leftFile.empty() || !m_setup.rightFile.empty(); }
    const PairSetup& Setup() const { return m_setup; }
    // Changes the options or the decoded sizes; the rig is rebuilt only when
    // they differ from the current ones.
    void SetOptions(const CalcOptions& options);
    void SetDecodedSizes(const DecodedImageSizes& sizes);
    // Rebuilds the rig from the same setup (the image database changed).
    void Rebuild();
    // Rebuilds the rig if the image database changed since it was built (its
    // records pose the catalogue cameras). Setting the options and measuring
    // do it first; so does whoever changes the database.
    void FollowDatabase();
    // Left and right change places; the marks stay where they are.
    void SwapEyes();

    const StereoRig& Rig() const { return m_rig; }
    const ImageDatabase& Database() const { return m_db; }

    // The current marks.
    std::optional<ImagePoint> Mark(Eye eye) const { return m_session.Mark(eye); }
    void SetMark(Eye eye, const ImagePoint& pixel);
    void SetMatchedMark(Eye eye, const ImagePoint& pixel, double score, double sigmaPx);
    void ClearMark(Eye eye);

    // The 1-sigma per coordinate of a clicked mark (a matched mark carries
    // its own); not above 0 is refused.
    double ClickSigmaPx() const { return m_clickSigmaPx; }
    bool SetClickSigmaPx(double px);
    // The 1-sigma of the ground plane's height for monoscopic measurements
    // made from now on (metres); below 0 or not finite is refused.
    double GroundHeightSigmaM() const { return m_groundHeightSigmaM; }
    bool SetGroundHeightSigmaM(double m);

    struct Measured {
        RangeCalcResult result;
        // The row the measurement joined, when it succeeded.
        std::optional<std::size_t> row;
        // Why nothing was measured: no marks, a rig that cannot measure, rays
        // that do not meet. Empty on success.
        std::string problem;
    };
    // CALCULATE at the current marks: on success the measurement joins the
    // session (its record, marks, vertex and log entry), stamped timeUtc.
    Measured Measure(const std::string& timeUtc);
    // The same at the given pixels (typed into the dialog, or a batch line):
    // a pixel that is a current matched mark keeps its origin.
    Measured MeasureAt(const ImagePoint& left, const ImagePoint& right, const std::string& timeUtc);
    // One click on the dense range map: left and its partner right become
    // the current marks, each with sigmaPx per coordinate (the map's), and
    // are measured; the measurement records both pixels as "dense".
    Measured MeasureDense(const ImagePoint& left, const ImagePoint& right, double sigmaPx,
                          const std::string& timeUtc);

    // The measurements and the log. Changes made through Session() directly
    // are announced with Touch.
    MeasurementSession& Session() { return m_session; }
    const MeasurementSession& Session() const { return m_session; }
    void Touch(Change change) { Notify(change); }

    // A calculation whose log was never saved.
    bool HasUnsavedResults() const { return m_session.HasUnsavedResults(); }

private:
    Measured MeasureMarks(const ImagePoint& left, const ImagePoint& right,
                          const std::string& timeUtc, bool dense);
    void Notify(Change change);
    void BuildRig();

    const ImageDatabase& m_db;
    PairSetup m_setup;
    StereoRig m_rig;
    std::uint64_t m_rigDatabase = 0; // the database's revision the rig was built from
    ProductCameraCache m_products;   // the open pair's products, read once
    MeasurementSession m_session;
    double m_clickSigmaPx = PixelSigmas{}.leftPx;
    double m_groundHeightSigmaM = kDefaultGroundHeightSigmaM;
    mutable std::vector<std::pair<std::size_t, Subscriber>> m_subscribers;
    mutable std::size_t m_nextHandle = 1;
};
