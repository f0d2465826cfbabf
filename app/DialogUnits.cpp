#include "app/DialogUnits.h"

#include <QApplication>
#include <QFontMetrics>
#include <QWidget>

#include <algorithm>

QFont DialogFont() {
    QFont font = QApplication::font();
    font.setPointSize(8);
    return font;
}

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics fm(font);
    // The average width of the 52 Latin letters, rounded to nearest.
    const int letters = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_nBaseX = std::max(1, (letters / 26 + 1) / 2);
    m_nBaseY = std::max(1, fm.height());
}

namespace {
// units * base / divisor, rounded to nearest (halves away from zero).
int Scale(int units, int base, int divisor) {
    const long long n = static_cast<long long>(units) * base;
    return static_cast<int>((n >= 0 ? n + divisor / 2 : n - divisor / 2) / divisor);
}
} // namespace

int DialogUnits::X(int units) const {
    return Scale(units, m_nBaseX, 4);
}

int DialogUnits::Y(int units) const {
    return Scale(units, m_nBaseY, 8);
}

QRect DialogUnits::Rect(int left, int top, int width, int height) const {
    return {X(left), Y(top), X(width), Y(height)};
}

QSize DialogUnits::Size(int width, int height) const {
    return {X(width), Y(height)};
}

void DialogUnits::Place(QWidget* control, int left, int top, int width, int height) const {
    const QSize natural = control->sizeHint();
    control->setGeometry(X(left), Y(top), width > 0 ? X(width) : natural.width(),
                         height > 0 ? Y(height) : natural.height());
}
