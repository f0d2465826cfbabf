// Passes the core's messages on to the user as message boxes through the
// injected UI services.
#pragma once

#include "geometry/Messages.h"
#include "viewer/UiServices.h"

class UiMessageSink : public IMessageSink {
public:
    explicit UiMessageSink(IUiServices& ui) : m_ui(ui) {}
    void Message(const std::string& text) override { m_ui.ShowMessage(text); }

private:
    IUiServices& m_ui;
};

// Routes ReportMessage() to the UI services for the lifetime of the object.
class ScopedUiMessages {
public:
    explicit ScopedUiMessages(IUiServices& ui) : m_sink(ui), m_scope(&m_sink) {}

private:
    UiMessageSink m_sink;
    ScopedMessageSink m_scope;
};
