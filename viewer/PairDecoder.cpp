#include "viewer/PairDecoder.h"

#include "products/ProductReader.h"

#include <QFileInfo>
#include <QImageReader>
#include <QMetaObject>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <new>

namespace {
std::atomic<std::int64_t> g_backgroundPixels{-1};

bool Ready(const std::future<std::unique_ptr<CImage>>& f) {
    return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}
} // namespace

CPairDecoder::CPairDecoder(DecodeFn decode) : m_fnDecode(std::move(decode)) {
    // Room for a new pair beside the workers of a cancelled one that are
    // still inside a decoder.
    m_pool.setMaxThreadCount(std::max(4, QThread::idealThreadCount()));
}

CPairDecoder::~CPairDecoder() {
    Cancel();
    m_pool.waitForDone();
}

std::future<std::unique_ptr<CImage>>
CPairDecoder::Launch(const std::string& path, std::uint64_t id,
                     std::shared_ptr<std::atomic<bool>> cancelled) {
    auto promise = std::make_shared<std::promise<std::unique_ptr<CImage>>>();
    std::future<std::unique_ptr<CImage>> future = promise->get_future();
    m_pool.start([this, promise, path, id, cancelled, decode = m_fnDecode] {
        std::unique_ptr<CImage> image;
        if (!cancelled->load()) {
            try {
                image = decode(path);
            } catch (const std::bad_alloc&) {
                image = CImage::Unreadable("Not enough memory for image " + path);
            } catch (...) {
                image = CImage::Unreadable("Unable to read image " + path);
            }
            if (!image) {
                image = CImage::Unreadable("Unable to read image " + path);
            }
        }
        promise->set_value(std::move(image));
        // The decoder outlives its workers (its destructor waits for them),
        // and an event still queued when it goes is dropped with it.
        QMetaObject::invokeMethod(
            this, [this, id] { OnSideFinished(id); }, Qt::QueuedConnection);
    });
    return future;
}

void CPairDecoder::Start(const std::string& leftPath, const std::string& rightPath) {
    Cancel();
    auto job = std::make_unique<Job>();
    job->id = ++m_nLastId;
    job->cancelled = std::make_shared<std::atomic<bool>>(false);
    job->left = Launch(leftPath, job->id, job->cancelled);
    job->right = Launch(rightPath, job->id, job->cancelled);
    m_pJob = std::move(job);
}

void CPairDecoder::Cancel() {
    if (m_pJob) {
        m_pJob->cancelled->store(true);
        m_pJob.reset();
    }
}

std::optional<DecodedPair> CPairDecoder::Wait() {
    if (!m_pJob) {
        return std::nullopt;
    }
    const std::unique_ptr<Job> job = std::move(m_pJob);
    DecodedPair pair;
    pair.left = job->left.get();
    pair.right = job->right.get();
    return pair;
}

void CPairDecoder::OnSideFinished(std::uint64_t id) {
    if (!m_pJob || m_pJob->id != id) {
        return; // cancelled, replaced or already taken by Wait()
    }
    const bool leftReady = Ready(m_pJob->left);
    const bool rightReady = Ready(m_pJob->right);
    if (leftReady && rightReady) {
        std::optional<DecodedPair> pair = Wait();
        if (m_fnFinished) {
            m_fnFinished(std::move(*pair));
        }
        return;
    }
    if (leftReady && !m_pJob->leftReported) {
        m_pJob->leftReported = true;
        if (m_fnSideDone) {
            m_fnSideDone(true);
        }
    } else if (rightReady && !m_pJob->rightReported) {
        m_pJob->rightReported = true;
        if (m_fnSideDone) {
            m_fnSideDone(false);
        }
    }
}

std::optional<std::int64_t> DeclaredPixels(const std::string& path) {
    QImageReader reader(QString::fromStdString(path));
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    if (size.isValid()) {
        return static_cast<std::int64_t>(size.width()) * size.height();
    }
    ProductReadOptions labelOnly;
    labelOnly.pixels = false;
    const ProductReadResult product = ReadProduct(path, labelOnly);
    if (product.ok && product.product.width > 0 && product.product.height > 0) {
        return static_cast<std::int64_t>(product.product.width) * product.product.height;
    }
    return std::nullopt;
}

std::int64_t BackgroundDecodePixels() {
    const std::int64_t set = g_backgroundPixels.load();
    return set >= 0 ? set : kDefaultBackgroundDecodePixels;
}

void SetBackgroundDecodePixels(std::int64_t pixels) {
    g_backgroundPixels.store(pixels >= 0 ? pixels : -1);
}

bool DecodeInBackground(const std::string& leftPath, const std::string& rightPath) {
    const std::int64_t threshold = BackgroundDecodePixels();
    if (threshold == 0) {
        return true;
    }
    std::int64_t total = 0;
    for (const std::string* path : {&leftPath, &rightPath}) {
        if (const auto pixels = DeclaredPixels(*path)) {
            total += *pixels;
        } else {
            total += QFileInfo(QString::fromStdString(*path)).size();
        }
    }
    return total >= threshold;
}
