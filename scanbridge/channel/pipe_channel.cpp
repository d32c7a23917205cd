#include "pipe_channel.h"

#include <vector>

PipeChannel::~PipeChannel() { Close(); }

void PipeChannel::Close() {
    const HANDLE pipe = InterlockedExchangePointer(&pipe_, nullptr);
    if (pipe == nullptr) return;
    CancelIoEx(pipe, nullptr);
    CloseHandle(pipe);
}

bool PipeChannel::Transfer(bool write, void* data, DWORD size) {
    auto* at = static_cast<unsigned char*>(data);
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) return false;
    bool ok = true;
    while (ok && size > 0) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event;
        const HANDLE pipe = pipe_;
        if (pipe == nullptr) {
            ok = false;
            break;
        }
        DWORD done = 0;
        const BOOL started = write ? WriteFile(pipe, at, size, &done, &overlapped)
                                   : ReadFile(pipe, at, size, &done, &overlapped);
        if (!started && GetLastError() != ERROR_IO_PENDING) {
            ok = false;
        } else if (!GetOverlappedResult(pipe, &overlapped, &done, TRUE) || done == 0) {
            ok = false;
        } else {
            at += done;
            size -= done;
        }
    }
    CloseHandle(event);
    return ok;
}

bool PipeChannel::Send(const Message& message) {
    std::vector<unsigned char> bytes = Encode(message);
    const std::lock_guard<std::mutex> lock(sending_);
    return Transfer(true, bytes.data(), static_cast<DWORD>(bytes.size()));
}

std::optional<Message> PipeChannel::Receive() {
    unsigned char header[kMessageHeaderSize];
    if (!Transfer(false, header, sizeof(header))) return std::nullopt;
    const auto decoded = DecodeHeader(header);
    if (!decoded) return std::nullopt;
    // Bounded by DecodeHeader.
    std::vector<unsigned char> payload(decoded->payloadSize);
    if (!payload.empty() && !Transfer(false, payload.data(), static_cast<DWORD>(payload.size())))
        return std::nullopt;
    return DecodePayload(*decoded, payload.data());
}
