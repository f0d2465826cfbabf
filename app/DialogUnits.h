// Dialog templates give positions and sizes in dialog units, which scale with
// the dialog's font: a horizontal unit is a quarter of the font's average
// character width, a vertical unit an eighth of its character height.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

class QWidget;

// The font every dialog of the application is laid out with: the system's
// sans-serif user-interface font at 8 points.
QFont DialogFont();

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    // Pixels per four horizontal units and per eight vertical units.
    int BaseX() const { return m_nBaseX; }
    int BaseY() const { return m_nBaseY; }

    int X(int units) const;
    int Y(int units) const;
    QRect Rect(int left, int top, int width, int height) const;
    QSize Size(int width, int height) const;

    // Places a control; a zero width or height keeps the control's natural
    // extent in that direction (templates give only a position for labels).
    void Place(QWidget* control, int left, int top, int width = 0, int height = 0) const;

private:
    int m_nBaseX;
    int m_nBaseY;
};
