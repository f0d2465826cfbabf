// The one recording stand-in for the user-facing services: message boxes
// and questions are recorded, choosers and questions answer from scripts,
// beeps and the wait cursor are counted, so no test blocks on a modal box.
#pragma once

#include "ui/UiServices.h"

#include <deque>
#include <string>
#include <utility>
#include <vector>

class FakeUi : public IUiServices {
public:
    void ShowMessage(const std::string& text) override {
        messages.push_back(text);
        events.push_back("message:" + text);
    }
    // Recorded as a message too; informations holds the good news alone.
    void ShowInformation(const std::string& text) override {
        informations.push_back(text);
        ShowMessage(text);
    }
    SaveChoice AskSaveDiscardCancel(const std::string& text) override {
        questions.push_back(text);
        if (saveChoices.empty()) {
            return SaveChoice::Cancel;
        }
        const SaveChoice c = saveChoices.front();
        saveChoices.pop_front();
        return c;
    }
    std::vector<std::string> ChooseOpenFiles(const FileChooserRequest& request) override {
        requests.push_back(request);
        openRequests.push_back(request);
        events.push_back("open:" + request.title);
        return Next(m_openAnswers);
    }
    std::string ChooseSaveFile(const FileChooserRequest& request) override {
        requests.push_back(request);
        saveRequests.push_back(request);
        events.push_back("save:" + request.title);
        const std::vector<std::string> answer = Next(m_saveAnswers);
        return answer.empty() ? std::string() : answer.front();
    }
    void BeginWaitCursor() override {
        ++waitDepth;
        ++waitCount;
        events.push_back("wait+");
    }
    void EndWaitCursor() override {
        --waitDepth;
        events.push_back("wait-");
    }
    void Beep(int frequencyHz, int durationMs) override {
        beeps.emplace_back(frequencyHz, durationMs);
        events.push_back("beep:" + std::to_string(frequencyHz));
    }

    // A progress bar that records its steps and is cancelled after
    // cancelProgressAfter of them (never when negative).
    class FakeProgress : public IProgress {
    public:
        explicit FakeProgress(FakeUi& ui) : m_ui(ui) {}
        void SetValue(int done) override { m_ui.progressValues.push_back(done); }
        bool Cancelled() const override {
            return m_ui.cancelProgressAfter >= 0 &&
                   static_cast<int>(m_ui.progressValues.size()) >= m_ui.cancelProgressAfter;
        }

    private:
        FakeUi& m_ui;
    };
    std::unique_ptr<IProgress> BeginProgress(const std::string& title, int) override {
        progressTitles.push_back(title);
        progressValues.clear();
        events.push_back("progress:" + title);
        return std::make_unique<FakeProgress>(*this);
    }

    // Scripts: each chooser call takes the next answer (cancel when none).
    void AnswerOpen(std::vector<std::string> paths) { m_openAnswers.push_back(std::move(paths)); }
    void AnswerSave(const std::string& path) { m_saveAnswers.push_back({path}); }

    std::vector<std::string> messages;
    std::vector<std::string> informations;
    std::vector<std::string> questions;
    std::vector<std::string> events;              // everything above, in order
    std::vector<FileChooserRequest> requests;     // open and save choosers
    std::vector<FileChooserRequest> openRequests; // open choosers only
    std::vector<FileChooserRequest> saveRequests; // save choosers only
    std::vector<std::pair<int, int>> beeps;
    std::deque<SaveChoice> saveChoices; // answers of the save question; Cancel when none
    int waitDepth = 0;
    int waitCount = 0;
    std::vector<std::string> progressTitles;
    std::vector<int> progressValues; // of the latest progress bar
    int cancelProgressAfter = -1;

private:
    static std::vector<std::string> Next(std::deque<std::vector<std::string>>& q) {
        if (q.empty()) {
            return {};
        }
        std::vector<std::string> a = q.front();
        q.pop_front();
        return a;
    }
    std::deque<std::vector<std::string>> m_openAnswers;
    std::deque<std::vector<std::string>> m_saveAnswers;
};
