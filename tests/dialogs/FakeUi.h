// A recording stand-in for the desktop UI services: messages, choosers and
// save questions are answered from scripts, so no test blocks on a modal box.
#pragma once

#include "viewer/UiServices.h"

#include <deque>
#include <string>
#include <utility>
#include <vector>

class FakeUi : public IUiServices {
public:
    void ShowMessage(const std::string& text) override {
        m_vMessages.push_back(text);
        m_vEvents.push_back("message:" + text);
    }
    SaveChoice AskSaveDiscardCancel(const std::string& text) override {
        m_vQuestions.push_back(text);
        if (m_qSaveChoices.empty()) {
            return SaveChoice::Cancel;
        }
        const SaveChoice c = m_qSaveChoices.front();
        m_qSaveChoices.pop_front();
        return c;
    }
    std::vector<std::string> ChooseOpenFiles(const FileChooserRequest& request) override {
        m_vRequests.push_back(request);
        m_vEvents.push_back("open:" + request.title);
        return Next(m_qOpenAnswers);
    }
    std::string ChooseSaveFile(const FileChooserRequest& request) override {
        m_vRequests.push_back(request);
        m_vEvents.push_back("save:" + request.title);
        const std::vector<std::string> answer = Next(m_qSaveAnswers);
        return answer.empty() ? std::string() : answer.front();
    }
    void BeginWaitCursor() override {
        ++m_nWaitDepth;
        m_vEvents.push_back("wait+");
    }
    void EndWaitCursor() override {
        --m_nWaitDepth;
        m_vEvents.push_back("wait-");
    }
    void Beep(int frequencyHz, int durationMs) override {
        m_vBeeps.emplace_back(frequencyHz, durationMs);
        m_vEvents.push_back("beep:" + std::to_string(frequencyHz));
    }

    // Scripts: each chooser call takes the next answer (cancel when none).
    void AnswerOpen(std::vector<std::string> paths) { m_qOpenAnswers.push_back(std::move(paths)); }
    void AnswerSave(const std::string& path) { m_qSaveAnswers.push_back({path}); }

    std::vector<std::string> m_vMessages;
    std::vector<std::string> m_vQuestions;
    std::vector<std::string> m_vEvents;
    std::vector<FileChooserRequest> m_vRequests;
    std::vector<std::pair<int, int>> m_vBeeps;
    std::deque<SaveChoice> m_qSaveChoices;
    int m_nWaitDepth = 0;

private:
    static std::vector<std::string> Next(std::deque<std::vector<std::string>>& q) {
        if (q.empty()) {
            return {};
        }
        std::vector<std::string> a = q.front();
        q.pop_front();
        return a;
    }
    std::deque<std::vector<std::string>> m_qOpenAnswers;
    std::deque<std::vector<std::string>> m_qSaveAnswers;
};
