// The status bar's progress pane: a bar and a Cancel button for work the
// window carries on beside (the range map), so menus, the table and the
// images keep taking input meanwhile. Esc presses Cancel while it shows.
#pragma once

#include "ui/UiServices.h"

#include <QWidget>

#include <memory>
#include <string>

class QProgressBar;
class QPushButton;

class CStatusProgressPane : public QWidget {
public:
    explicit CStatusProgressPane(QWidget* parent = nullptr);

    // Shows the pane until the returned object goes; a later Begin takes the
    // pane over from an earlier one, which then reports nothing.
    std::unique_ptr<IProgress> Begin(const std::string& title, int maximum);

    QProgressBar* Bar() const { return m_pBar; }
    QPushButton* CancelButton() const { return m_pCancel; }

private:
    class Progress;
    QProgressBar* m_pBar = nullptr;
    QPushButton* m_pCancel = nullptr;
    // Which Begin owns the pane, and whether its Cancel was pressed.
    int m_owner = 0;
    int m_begun = 0;
    bool m_cancelled = false;
};
