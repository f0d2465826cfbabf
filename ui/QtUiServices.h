// The desktop application's user-facing services in Qt: message boxes, the
// Save / Discard / Cancel question, file choosers, the wait cursor and tones.
#pragma once

#include "ui/TonePlayer.h"
#include "ui/UiServices.h"

#include <QPointer>
#include <QString>
#include <QWidget>

class CQtUiServices : public IUiServices {
public:
    explicit CQtUiServices(QWidget* parent = nullptr);

    // The window that owns boxes and choosers.
    void SetParentWidget(QWidget* parent) { m_pParent = parent; }

    void ShowMessage(const std::string& text) override;
    void ShowInformation(const std::string& text) override;
    SaveChoice AskSaveDiscardCancel(const std::string& text) override;
    RestoreChoice AskRestoreDiscardLater(const std::string& text) override;
    std::vector<std::string> ChooseOpenFiles(const FileChooserRequest& request) override;
    std::string ChooseSaveFile(const FileChooserRequest& request) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void Beep(int frequencyHz, int durationMs) override;
    // A modal QProgressDialog, shown after half a second.
    std::unique_ptr<IProgress> BeginProgress(const std::string& title, int maximum) override;

private:
    QPointer<QWidget> m_pParent;
    CTonePlayer m_tonePlayer;
};

// A filter of the form "Image Files|*.bmp;*.png;||" in Qt's form
// "Image Files (*.bmp *.png)"; several pairs become entries separated by ";;".
QString ToQtFileFilter(const std::string& filter);
