// Decoding the two images of a pair on worker threads, so that the window
// keeps painting and answering while a large pair is read. The two sides are
// decoded at the same time; the images come back on the thread that owns the
// decoder, through its event loop or at once through Wait().
//
// Only the latest pair counts: starting another or cancelling makes the one
// under way deliver nothing, and its workers stop before whatever step they
// have not begun.
#pragma once

#include "stereo/CalcInput.h"
#include "viewer/Image.h"

#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>

// The sizes of the images there are (either may be null).
inline DecodedImageSizes SizesOf(const CImage* left, const CImage* right) {
    DecodedImageSizes sizes;
    if (left) {
        sizes.left = left->Size();
    }
    if (right) {
        sizes.right = right->Size();
    }
    return sizes;
}

// Both decoded images; each may be invalid (its error tells why) but neither
// is null.
struct DecodedPair {
    std::unique_ptr<CImage> left;
    std::unique_ptr<CImage> right;
    DecodedImageSizes Sizes() const { return SizesOf(left.get(), right.get()); }
};

class CPairDecoder : public QObject {
public:
    // How one file becomes an image; runs on a worker thread, and must not
    // return null.
    using DecodeFn = std::function<std::unique_ptr<CImage>(const std::string& path)>;
    // Called on the owner's thread with the images of the latest pair, unless
    // Wait() took them.
    using FinishedFn = std::function<void(DecodedPair)>;
    // Called on the owner's thread when one side of the latest pair is done
    // while the other is not (true: the left side).
    using SideFn = std::function<void(bool leftDone)>;

    explicit CPairDecoder(DecodeFn decode = LoadImageFile);
    // Cancels the pair under way and waits for its workers.
    ~CPairDecoder() override;
    CPairDecoder(const CPairDecoder&) = delete;
    CPairDecoder& operator=(const CPairDecoder&) = delete;

    void SetFinished(FinishedFn finished) { m_fnFinished = std::move(finished); }
    void SetSideDone(SideFn sideDone) { m_fnSideDone = std::move(sideDone); }

    // Starts decoding both files; a pair still under way is cancelled.
    void Start(const std::string& leftPath, const std::string& rightPath);
    // Forgets the pair under way: it delivers nothing.
    void Cancel();
    // A pair is under way.
    bool Busy() const { return m_pJob != nullptr; }
    // Blocks until the pair under way is decoded and returns its images (the
    // finished callback is then not called for it); nothing when no pair is
    // under way.
    std::optional<DecodedPair> Wait();

private:
    struct Job {
        std::uint64_t id = 0;
        std::shared_ptr<std::atomic<bool>> cancelled;
        std::future<std::unique_ptr<CImage>> left;
        std::future<std::unique_ptr<CImage>> right;
        bool leftReported = false;
        bool rightReported = false;
    };

    std::future<std::unique_ptr<CImage>> Launch(const std::string& path, std::uint64_t id,
                                                std::shared_ptr<std::atomic<bool>> cancelled);
    // A worker of job id finished: delivers the pair once both sides are done.
    void OnSideFinished(std::uint64_t id);

    DecodeFn m_fnDecode;
    FinishedFn m_fnFinished;
    SideFn m_fnSideDone;
    std::unique_ptr<Job> m_pJob;
    std::uint64_t m_nLastId = 0;
    QThreadPool m_pool; // last: its workers are gone before the rest is
};

// Whether a pair is large enough to be read while the window carries on:
// the pixels both files declare in their headers (a file whose header tells
// no size counts one pixel per byte) against the threshold.
bool DecodeInBackground(const std::string& leftPath, const std::string& rightPath);
// The pixels from which a pair is read in the background: a Mars 2020
// Navcam full frame alone has about 20 million.
inline constexpr std::int64_t kDefaultBackgroundDecodePixels = 12'000'000;
std::int64_t BackgroundDecodePixels();
// Sets the threshold for this process (negative restores the default; 0 reads
// every pair in the background).
void SetBackgroundDecodePixels(std::int64_t pixels);
// The pixels a file's header declares; nothing when it declares none.
std::optional<std::int64_t> DeclaredPixels(const std::string& path);
