#include "base/Messages.h"

#include <cstdio>

namespace {
thread_local IMessageSink* t_pSink = nullptr;
}

void ReportMessage(const std::string& text) {
    if (t_pSink != nullptr) {
        t_pSink->Message(text);
    } else {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
}

ScopedMessageSink::ScopedMessageSink(IMessageSink* sink) : m_pPrevious(t_pSink) {
    t_pSink = sink;
}

ScopedMessageSink::~ScopedMessageSink() {
    t_pSink = m_pPrevious;
}
