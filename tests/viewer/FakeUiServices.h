// A recording stand-in for the user-facing services: message boxes are
// recorded, choosers answer from a script, beeps are counted.
#pragma once

#include "viewer/UiServices.h"

#include <deque>
#include <string>
#include <utility>
#include <vector>

class FakeUiServices : public IUiServices {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    SaveChoice AskSaveDiscardCancel(const std::string& text) override {
        questions.push_back(text);
        return saveChoice;
    }
    std::vector<std::string> ChooseOpenFiles(const FileChooserRequest& request) override {
        openRequests.push_back(request);
        if (openAnswers.empty()) {
            return {};
        }
        auto answer = std::move(openAnswers.front());
        openAnswers.pop_front();
        return answer;
    }
    std::string ChooseSaveFile(const FileChooserRequest& request) override {
        saveRequests.push_back(request);
        return saveAnswer;
    }
    void BeginWaitCursor() override { ++waitDepth, ++waitCount; }
    void EndWaitCursor() override { --waitDepth; }
    void Beep(int frequencyHz, int durationMs) override {
        beeps.emplace_back(frequencyHz, durationMs);
    }

    std::vector<std::string> messages;
    std::vector<std::string> questions;
    SaveChoice saveChoice = SaveChoice::Cancel;
    std::deque<std::vector<std::string>> openAnswers;
    std::vector<FileChooserRequest> openRequests;
    std::string saveAnswer;
    std::vector<FileChooserRequest> saveRequests;
    int waitDepth = 0;
    int waitCount = 0;
    std::vector<std::pair<int, int>> beeps;
};
