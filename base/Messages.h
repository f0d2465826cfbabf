// The one way the core tells the user something. Core code calls
// ReportMessage(); whoever runs the core decides where the text goes: the
// desktop app shows a message box, the command-line tool prints or collects
// it, tests record it. Without an installed sink, messages go to stderr.
#pragma once

#include <string>
#include <vector>

class IMessageSink {
public:
    virtual ~IMessageSink() = default;
    virtual void Message(const std::string& text) = 0;
};

// Sends text to the sink installed on this thread (stderr when none is).
void ReportMessage(const std::string& text);

// Installs a sink for the lifetime of the object, restoring the previous one
// afterwards. Scopes nest; the innermost sink receives the messages.
class ScopedMessageSink {
public:
    explicit ScopedMessageSink(IMessageSink* sink);
    ~ScopedMessageSink();
    ScopedMessageSink(const ScopedMessageSink&) = delete;
    ScopedMessageSink& operator=(const ScopedMessageSink&) = delete;

private:
    IMessageSink* m_pPrevious;
};

// A sink that keeps every message, in order.
class CollectingMessageSink : public IMessageSink {
public:
    void Message(const std::string& text) override { m_vMessages.push_back(text); }
    std::vector<std::string> m_vMessages;
};
