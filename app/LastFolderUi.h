// Choosers that start in the last folder used: wraps the user-facing
// services and gives every file chooser that names no starting folder the
// folder of the last file chosen in any chooser (at first, the view's
// remembered m_sFilePath).
#pragma once

#include "ui/UiServices.h"

#include <string>

class CLastFolderUi : public IUiServices {
public:
    CLastFolderUi(IUiServices& inner, std::string lastFolder)
        : m_inner(inner), m_sLastFolder(std::move(lastFolder)) {}

    void ShowMessage(const std::string& text) override { m_inner.ShowMessage(text); }
    void ShowInformation(const std::string& text) override { m_inner.ShowInformation(text); }
    SaveChoice AskSaveDiscardCancel(const std::string& text) override {
        return m_inner.AskSaveDiscardCancel(text);
    }
    RestoreChoice AskRestoreDiscardLater(const std::string& text) override {
        return m_inner.AskRestoreDiscardLater(text);
    }
    std::vector<std::string> ChooseOpenFiles(const FileChooserRequest& request) override;
    std::string ChooseSaveFile(const FileChooserRequest& request) override;
    void BeginWaitCursor() override { m_inner.BeginWaitCursor(); }
    void EndWaitCursor() override { m_inner.EndWaitCursor(); }
    void Beep(int frequencyHz, int durationMs) override { m_inner.Beep(frequencyHz, durationMs); }
    std::unique_ptr<IProgress> BeginProgress(const std::string& title, int maximum) override {
        return m_inner.BeginProgress(title, maximum);
    }

    const std::string& LastFolder() const { return m_sLastFolder; }

private:
    FileChooserRequest WithStartFolder(const FileChooserRequest& request) const;
    void Remember(const std::string& chosenFile);

    IUiServices& m_inner;
    std::string m_sLastFolder;
};
