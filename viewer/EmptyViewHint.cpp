#include "viewer/EmptyViewHint.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <algorithm>

QStringList EmptyViewHintLines() {
    return {QStringLiteral("No stereo pair is open"),
            QStringLiteral("File > Open Stereo Pair\u2026 chooses a left and a right image"),
            QStringLiteral("File > Recent Pairs reopens one of the last pairs"),
            QStringLiteral("or drop two image files here")};
}

void DrawEmptyViewHint(QImage& target) {
    const QStringList lines = EmptyViewHintLines();
    QPainter p(&target);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont heading = p.font();
    heading.setPixelSize(18);
    heading.setBold(true);
    QFont body = p.font();
    body.setPixelSize(14);
    const QFontMetrics headingMetrics(heading);
    const QFontMetrics bodyMetrics(body);
    const int gap = bodyMetrics.height() / 2;
    const int height = headingMetrics.height() + gap +
                       static_cast<int>(lines.size() - 1) * bodyMetrics.lineSpacing();
    int y = std::max(0, (target.height() - height) / 2);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const bool first = i == 0;
        p.setFont(first ? heading : body);
        p.setPen(first ? QColor(230, 230, 230) : QColor(170, 170, 170));
        const QFontMetrics& fm = first ? headingMetrics : bodyMetrics;
        const QRect line(0, y, target.width(), fm.height());
        p.drawText(line, Qt::AlignHCenter | Qt::AlignTop, lines[i]);
        y += first ? fm.height() + gap : fm.lineSpacing();
    }
}
