// A recording stand-in for the Analyse dialog.
#pragma once

#include "app/CalcDialogInterface.h"

#include <memory>
#include <string>
#include <vector>

struct CalcDialogLog {
    int created = 0;
    int shown = 0;
    int hidden = 0;
    int destroyed = 0;
    int refreshed = 0;
    int calculated = 0;
    double leftCol = -1, leftRow = -1, rightCol = -1, rightRow = -1;
    std::vector<std::string> refreshedWithLeftFile;
};

class FakeCalcDialog : public ICalcDialog {
public:
    FakeCalcDialog(ICalcHost& host, CalcDialogLog& log) : m_host(host), m_log(log) {
        ++m_log.created;
    }
    ~FakeCalcDialog() override { ++m_log.destroyed; }
    void ShowDialog() override { ++m_log.shown; }
    void HideDialog() override { ++m_log.hidden; }
    void SetLeftPixel(double col, double row) override {
        m_log.leftCol = col;
        m_log.leftRow = row;
    }
    void SetRightPixel(double col, double row) override {
        m_log.rightCol = col;
        m_log.rightRow = row;
    }
    void UpdateImageInfo() override {
        ++m_log.refreshed;
        m_log.refreshedWithLeftFile.push_back(m_host.LeftFile());
    }
    void OnCalculate() override { ++m_log.calculated; }

    ICalcHost& Host() { return m_host; }

private:
    ICalcHost& m_host;
    CalcDialogLog& m_log;
};

// A factory for the view that records into log.
inline auto FakeCalcDialogFactory(CalcDialogLog& log) {
    return [&log](ICalcHost& host) -> std::unique_ptr<ICalcDialog> {
        return std::make_unique<FakeCalcDialog>(host, log);
    };
}
