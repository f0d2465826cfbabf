// Shows every message of the core as a message box.
#pragma once

#include "geometry/Messages.h"
#include "viewer/UiServices.h"

class CUiMessageSink : public IMessageSink {
public:
    explicit CUiMessageSink(IUiServices& ui) : m_ui(ui) {}
    void Message(const std::string& text) override { m_ui.ShowMessage(text); }

private:
    IUiServices& m_ui;
};
