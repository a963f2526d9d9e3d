#pragma once
// Meter link: serial port, port discovery, meter protocol, transfer engine.
// No widgets here; the front end shows messages through IMessageSink.

#include <string>

// How the link shows the system's messages to the operator. ShowMessage returns
// when the operator has acknowledged the message (a modal box in the window,
// a line on stderr in the command line, a record in tests). It may be called
// from any thread.
class IMessageSink {
public:
    virtual ~IMessageSink() = default;
    virtual void ShowMessage(const std::string& text) = 0;
};
