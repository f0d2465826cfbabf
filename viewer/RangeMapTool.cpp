#include "viewer/RangeMapTool.h"

#include "base/Format.h"
#include "viewer/ChildView.h"
#include "viewer/StereoSource.h"

#include <QPainter>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <vector>

struct CRangeMapTool::Job {
    std::shared_ptr<const StereoRectification> rect;
    GreyImage left;
    GreyImage right;
    std::atomic<bool> cancel{false};
    std::atomic<double> fraction{0.0};
    DenseResult result;
};

namespace {

// The ticks of the legend: 1, 2 and 5 times the powers of ten between near
// and far.
std::vector<double> LegendTicks(double nearM, double farM) {
    std::vector<double> ticks;
    for (double decade = std::pow(10.0, std::floor(std::log10(nearM))); decade <= farM;
         decade *= 10.0) {
        for (const double m : {1.0, 2.0, 5.0}) {
            if (decade * m >= nearM && decade * m <= farM) {
                ticks.push_back(decade * m);
            }
        }
    }
    return ticks;
}

QImage OverlayOf(const DenseRangeMap& map, const RangeColours& colours) {
    QImage overlay(map.Width(), map.Height(), QImage::Format_ARGB32);
    for (int y = 0; y < map.Height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(overlay.scanLine(y));
        for (int x = 0; x < map.Width(); ++x) {
            const float r = map.RangeAt(x, y);
            if (std::isnan(r)) {
                row[x] = qRgba(0, 0, 0, 0);
            } else {
                const uint8_t* c = colours.Colour(r);
                row[x] = qRgba(c[0], c[1], c[2], 255);
            }
        }
    }
    return overlay;
}

} // namespace

CRangeMapTool::CRangeMapTool(CChildView& view) : m_view(view) {
    m_subscription = m_view.Document().Subscribe(
        [this](PairDocument::Change change) { OnDocumentChanged(change); });
    m_poll.setInterval(50);
    connect(&m_poll, &QTimer::timeout, this, &CRangeMapTool::PollProgress);
}

CRangeMapTool::~CRangeMapTool() {
    m_view.Document().Unsubscribe(m_subscription);
    if (m_job) {
        m_job->cancel = true;
    }
    if (m_thread != nullptr) {
        m_thread->disconnect(this);
        m_dropped.push_back(m_thread);
    }
    for (QThread* thread : m_dropped) {
        thread->disconnect(this);
        thread->wait();
        delete thread;
    }
}

void CRangeMapTool::OnRangeMap() {
    if (Busy()) {
        // The item shows checked while the map is computed: unchecking it
        // stops the computation.
        Cancel();
        return;
    }
    if (m_map) {
        SetOverlayShown(!m_shown);
        return;
    }
    m_shown = true;
    Compute();
}

bool CRangeMapTool::Compute() {
    if (Busy()) {
        Drop();
    }
    const StereoSource source = StereoSourceOf(m_view, false);
    if (!source.rect) {
        m_view.Ui().ShowMessage("No range map: " + source.problem);
        return false;
    }
    m_job = std::make_shared<Job>();
    m_job->rect = source.rect;
    m_job->left = source.left;
    m_job->right = source.right;
    const std::shared_ptr<Job> job = m_job;
    m_thread = QThread::create([job] {
        DenseOptions options;
        options.progress = [&job = *job](double f) {
            job.fraction = f;
            return !job.cancel;
        };
        job->result = ComputeDenseRange(job->rect, job->left, job->right, options);
    });
    connect(m_thread, &QThread::finished, this, &CRangeMapTool::OnJobFinished);
    m_progress = m_view.BeginBackgroundProgress(kProgressTitle, 100);
    m_view.ShowStatus("Computing the range map...");
    m_thread->start(QThread::LowPriority);
    m_poll.start();
    return true;
}

void CRangeMapTool::Cancel() {
    if (m_job) {
        m_job->cancel = true;
    }
}

void CRangeMapTool::WaitForMap() {
    if (m_thread != nullptr) {
        m_thread->wait();
        OnJobFinished();
    }
}

void CRangeMapTool::PollProgress() {
    if (!m_job || !m_progress) {
        return;
    }
    m_progress->SetValue(static_cast<int>(m_job->fraction * 100.0));
    if (m_progress->Cancelled()) {
        Cancel();
    }
}

void CRangeMapTool::OnJobFinished() {
    if (m_thread == nullptr) {
        return; // already taken (WaitForMap)
    }
    m_thread->disconnect(this);
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    m_poll.stop();
    m_progress.reset();
    const std::shared_ptr<Job> job = std::move(m_job);
    DenseResult& result = job->result;
    if (result.cancelled || job->cancel) {
        m_view.ShowStatus("Range map cancelled");
        return;
    }
    if (!result.ok) {
        m_shown = false;
        m_view.Ui().ShowMessage("No range map: " + result.problem);
        return;
    }
    m_map = std::make_shared<const DenseRangeMap>(std::move(result.map));
    m_colours = RangeColoursOf(*m_map);
    m_overlay = OverlayOf(*m_map, m_colours);
    const DenseSummary& s = m_map->Summary();
    m_view.ShowStatus(StrFormat("Range map: %.1f %% of the left image ranged, %.2f to %.2f m "
                                "(5 to 95 %%), %.1f s; Shift+click measures",
                                100.0 * s.validFraction, s.rangePercentiles[0],
                                s.rangePercentiles[4], result.seconds));
    emit Changed();
}

void CRangeMapTool::Drop() {
    if (m_job) {
        m_job->cancel = true;
    }
    if (m_thread != nullptr) {
        // The computation ends at its next progress call; its result is
        // of no use any more.
        QThread* thread = m_thread;
        thread->disconnect(this);
        m_dropped.push_back(thread);
        connect(thread, &QThread::finished, this, [this, thread] {
            std::erase(m_dropped, thread);
            thread->deleteLater();
        });
        m_thread = nullptr;
        m_job.reset();
        m_poll.stop();
        m_progress.reset();
    }
    const bool had = m_map != nullptr;
    m_map.reset();
    m_overlay = QImage();
    if (had) {
        emit Changed();
    }
}

void CRangeMapTool::OnDocumentChanged(PairDocument::Change change) {
    if (change == PairDocument::Change::Pair) {
        Drop();
        m_shown = false;
    } else if (change == PairDocument::Change::Cameras && (m_map || Busy())) {
        // Another rig: the map is recomputed once the change is done.
        Drop();
        if (m_shown) {
            QTimer::singleShot(0, this, [this] {
                if (!m_map && !Busy() && m_shown && m_view.HasBothImages()) {
                    Compute();
                }
            });
        }
    }
}

void CRangeMapTool::SetOverlayShown(bool shown) {
    m_shown = shown;
    emit Changed();
}

void CRangeMapTool::SetOpacity(double opacity) {
    m_opacity = std::clamp(opacity, 0.1, 1.0);
    emit Changed();
}

void CRangeMapTool::Draw(QPainter& p, const SideLayout& layout) const {
    if (!OverlayShown() || m_overlay.isNull()) {
        return;
    }
    const ViewRect visible = layout.image.Intersect(layout.panel);
    if (visible.IsEmpty() || layout.image.IsEmpty()) {
        return;
    }
    // Only the part of the map in sight is scaled.
    const double sx = static_cast<double>(m_overlay.width()) / layout.image.Width();
    const double sy = static_cast<double>(m_overlay.height()) / layout.image.Height();
    const QRectF source((visible.left - layout.image.left) * sx,
                        (visible.top - layout.image.top) * sy, visible.Width() * sx,
                        visible.Height() * sy);
    p.save();
    p.setClipRect(
        QRect(layout.panel.left, layout.panel.top, layout.panel.Width(), layout.panel.Height()));
    p.setOpacity(m_opacity);
    p.drawImage(QRectF(visible.left, visible.top, visible.Width(), visible.Height()), m_overlay,
                source);
    p.setOpacity(1.0);

    // The legend: the colour bar with its ticks in metres, at the foot of
    // the image in sight.
    const QFontMetrics fm(p.font());
    const int barW = std::min(320, visible.Width() - 16);
    const int barH = 12;
    if (barW < 40) {
        p.restore();
        return;
    }
    const int x0 = visible.left + 8;
    const int boxH = barH + fm.height() + 10;
    const int y0 = std::max(visible.top + 4, visible.bottom - boxH - 6);
    p.fillRect(QRect(x0 - 4, y0 - 4, barW + 8, boxH + 4), QColor(0, 0, 0, 170));
    for (int i = 0; i < barW; ++i) {
        const int step = static_cast<int>(255.0 * i / std::max(1, barW - 1) + 0.5);
        const uint8_t* c = m_colours.rgb.data() + 3 * step;
        p.fillRect(QRect(x0 + i, y0, 1, barH), QColor(c[0], c[1], c[2]));
    }
    const double l0 = std::log(m_colours.nearM), l1 = std::log(m_colours.farM);
    p.setPen(Qt::white);
    int lastEnd = x0 - 1000;
    for (const double tick : LegendTicks(m_colours.nearM, m_colours.farM)) {
        const int x = x0 + static_cast<int>((std::log(tick) - l0) / (l1 - l0) * (barW - 1));
        p.drawLine(x, y0 + barH, x, y0 + barH + 3);
        const QString text = QString::fromStdString(StrFormat("%g m", tick));
        const int tw = fm.horizontalAdvance(text);
        const int tx = std::clamp(x - tw / 2, x0, x0 + barW - tw);
        if (tx > lastEnd + 4) {
            p.drawText(tx, y0 + barH + 4 + fm.ascent(), text);
            lastEnd = tx + tw;
        }
    }
    p.restore();
}

std::string CRangeMapTool::Readout(const ImagePoint& left) const {
    if (!m_map) {
        return {};
    }
    const auto point = m_map->At(left);
    if (!point) {
        return StrFormat("(%.0f, %.0f): no range", left.x, left.y);
    }
    return StrFormat("(%.0f, %.0f): range %.3f m \xC2\xB1%.3f m  X %.3f  Y %.3f  Z %.3f m",
                     point->left.x, point->left.y, point->range, point->rangeSigma,
                     point->position.m_dX, point->position.m_dY, point->position.m_dZ);
}

std::optional<CRangeMapTool::DenseMarks> CRangeMapTool::MarksAt(const ImagePoint& left) {
    if (!m_map) {
        return std::nullopt;
    }
    const auto point = m_map->At(left);
    if (!point) {
        m_view.ShowStatus(
            StrFormat("(%.0f, %.0f): the range map has no point there", left.x, left.y));
        return std::nullopt;
    }
    return DenseMarks{point->left, point->right, m_map->DisparitySigmaPx() / std::sqrt(2.0)};
}
