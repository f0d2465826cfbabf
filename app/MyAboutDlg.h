// Help > About: the credits and the user's guide in one scrolling, editable
// text box. The text is built afresh for every opening.
#pragma once

#include <QDialog>

#include <string>

class QTextEdit;

enum AboutDlgControl { IDC_ABOUT_TEXT = 1015 };

// The credits, usage notes and shortcuts shown in the About box.
std::string BuildAboutText();

class CMyAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CMyAboutDlg(QWidget* parent = nullptr);

    // Members to the control (false) or the control to the member (true).
    void UpdateData(bool take);
    QTextEdit* TextControl() const { return m_pText; }

    std::string m_sText;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QTextEdit* m_pText = nullptr;
};

// Builds the text, shows the box modally; whatever the user did to the text
// is dropped when it closes.
void RunAboutDialog(QWidget* parent);
