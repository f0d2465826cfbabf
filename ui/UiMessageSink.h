// Shows every message of the core as a message box.
#pragma once

#include "base/Messages.h"
#include "ui/UiServices.h"

class CUiMessageSink : public IMessageSink {
public:
    explicit CUiMessageSink(IUiServices& ui) : m_ui(ui) {}
    void Message(const std::string& text) override { m_ui.ShowMessage(text); }

private:
    IUiServices& m_ui;
};

// Routes ReportMessage() to the UI services for the lifetime of the object.
class ScopedUiMessages {
public:
    explicit ScopedUiMessages(IUiServices& ui) : m_sink(ui), m_scope(&m_sink) {}

private:
    CUiMessageSink m_sink;
    ScopedMessageSink m_scope;
};
