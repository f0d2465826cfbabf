// Everything the desktop application does that a user sees or hears outside
// its own windows: modal message boxes, file choosers, the wait cursor and
// the completion beep. The real implementation uses Qt; tests inject a
// recording fake so that nothing ever blocks on a modal box.
#pragma once

#include <memory>
#include <string>
#include <vector>

struct FileChooserRequest {
    std::string title;
    // Filter in the system's own form, e.g. "Image Files|*.bmp;*.png;||".
    std::string filter;
    std::string startFolder; // empty: the platform's default
    bool multiSelect = false;
    bool confirmOverwrite = false; // save choosers: ask before replacing a file
    // Save choosers: the extension given to a typed name that has none
    // (without the dot; empty: none).
    std::string defaultSuffix;
};

// A long command's progress: a bar with a Cancel button.
class IProgress {
public:
    virtual ~IProgress() = default;
    // done of the maximum given when it began.
    virtual void SetValue(int done) = 0;
    // The user asked to stop.
    virtual bool Cancelled() const = 0;
};

// Progress nobody sees and nobody cancels.
class SilentProgress : public IProgress {
public:
    void SetValue(int) override {}
    bool Cancelled() const override { return false; }
};

class IUiServices {
public:
    enum class SaveChoice { Save, Discard, Cancel };
    enum class RestoreChoice { Restore, Discard, Later };

    virtual ~IUiServices() = default;
    // A modal box with the text and one OK button.
    virtual void ShowMessage(const std::string& text) = 0;
    // A modal box with good news (a result, "Done"): the information icon
    // rather than the warning one.
    virtual void ShowInformation(const std::string& text) { ShowMessage(text); }
    // A modal Save / Discard / Cancel question.
    virtual SaveChoice AskSaveDiscardCancel(const std::string& text) = 0;
    // A modal Restore / Discard / Later question (work left by a crash).
    // Unless overridden, asked as Save / Discard / Cancel in that order.
    virtual RestoreChoice AskRestoreDiscardLater(const std::string& text) {
        switch (AskSaveDiscardCancel(text)) {
        case SaveChoice::Save:
            return RestoreChoice::Restore;
        case SaveChoice::Discard:
            return RestoreChoice::Discard;
        default:
            return RestoreChoice::Later;
        }
    }
    // Open chooser: the chosen full paths in order; empty when cancelled.
    virtual std::vector<std::string> ChooseOpenFiles(const FileChooserRequest& request) = 0;
    // Save chooser: the chosen full path; empty when cancelled.
    virtual std::string ChooseSaveFile(const FileChooserRequest& request) = 0;
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
    // A tone of the given frequency and duration; returns at once.
    virtual void Beep(int frequencyHz, int durationMs) = 0;
    // A progress dialog until the returned object goes.
    virtual std::unique_ptr<IProgress> BeginProgress(const std::string& /*title*/,
                                                     int /*maximum*/) {
        return std::make_unique<SilentProgress>();
    }
};

// The completion signal of long commands, unless beeps are disabled: a
// 3000 Hz tone for 200 ms, then a 3100 Hz tone for 100 ms.
inline void CompletionBeeps(IUiServices& ui, bool bDisableBeeps) {
    if (!bDisableBeeps) {
        ui.Beep(3000, 200);
        ui.Beep(3100, 100);
    }
}

// The end of a long command: the completion beeps, then a box with the text.
inline void SignalCompletion(IUiServices& ui, bool bDisableBeeps, const std::string& text) {
    CompletionBeeps(ui, bDisableBeeps);
    ui.ShowInformation(text);
}
