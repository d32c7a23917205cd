#pragma once

// clang-format off
#include <windows.h>
// clang-format on

#include <mutex>
#include <optional>
#include <vector>

#include "channel_message.h"

// One end of the front's private pipe to its worker. The pipe is opened for
// overlapped I/O: one thread may wait for the next message while another
// sends, which synchronous I/O on one handle would serialise. One thread
// receives at a time; any thread may send.
class PipeChannel {
public:
    explicit PipeChannel(HANDLE pipe);
    ~PipeChannel();
    PipeChannel(const PipeChannel&) = delete;
    PipeChannel& operator=(const PipeChannel&) = delete;

    // False when the other end is gone or the pipe was closed.
    bool Send(const Message& message);
    // The next message, or nothing when the other end is gone, the pipe was
    // closed, or the message was malformed: each ends the session.
    std::optional<Message> Receive();
    // Ends the session: a Receive waiting on another thread returns nothing.
    void Close();

private:
    // One overlapped read or write; answers the bytes moved, 0 when none can be.
    DWORD Transfer(bool write, HANDLE event, void* data, DWORD size);
    // Makes the first size bytes of the received ones available.
    bool Fill(std::size_t size);

    std::mutex sending_;
    HANDLE pipe_;
    HANDLE sendEvent_;
    HANDLE receiveEvent_;
    // What was read and not yet taken: one read takes whatever has arrived,
    // often a whole message and more.
    std::vector<unsigned char> received_;
    std::size_t taken_ = 0;
};
