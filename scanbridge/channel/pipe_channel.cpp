#include "pipe_channel.h"

#include <algorithm>

namespace {

constexpr DWORD kReadChunk = 4096;

}  // namespace

PipeChannel::PipeChannel(HANDLE pipe)
    : pipe_(pipe),
      sendEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      receiveEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

PipeChannel::~PipeChannel() {
    Close();
    if (sendEvent_ != nullptr) CloseHandle(sendEvent_);
    if (receiveEvent_ != nullptr) CloseHandle(receiveEvent_);
}

void PipeChannel::Close() {
    const HANDLE pipe = InterlockedExchangePointer(&pipe_, nullptr);
    if (pipe == nullptr) return;
    CancelIoEx(pipe, nullptr);
    CloseHandle(pipe);
}

DWORD PipeChannel::Transfer(bool write, HANDLE event, void* data, DWORD size) {
    const HANDLE pipe = pipe_;
    if (pipe == nullptr || event == nullptr) return 0;
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    DWORD done = 0;
    const BOOL started = write ? WriteFile(pipe, data, size, &done, &overlapped)
                               : ReadFile(pipe, data, size, &done, &overlapped);
    if (!started && GetLastError() != ERROR_IO_PENDING) return 0;
    if (!GetOverlappedResult(pipe, &overlapped, &done, TRUE)) return 0;
    return done;
}

bool PipeChannel::Send(const Message& message) {
    std::vector<unsigned char> bytes = Encode(message);
    const std::lock_guard<std::mutex> lock(sending_);
    for (std::size_t at = 0; at < bytes.size();) {
        const DWORD done =
            Transfer(true, sendEvent_, bytes.data() + at, static_cast<DWORD>(bytes.size() - at));
        if (done == 0) return false;
        at += done;
    }
    return true;
}

bool PipeChannel::Fill(std::size_t size) {
    if (taken_ > 0) {
        received_.erase(received_.begin(), received_.begin() + static_cast<long>(taken_));
        taken_ = 0;
    }
    while (received_.size() < size) {
        const std::size_t have = received_.size();
        // At least what is missing, so a large payload comes in few reads.
        const std::size_t want = std::max<std::size_t>(kReadChunk, size - have);
        received_.resize(have + want);
        const DWORD done =
            Transfer(false, receiveEvent_, received_.data() + have, static_cast<DWORD>(want));
        received_.resize(have + done);
        if (done == 0) return false;
    }
    return true;
}

std::optional<Message> PipeChannel::Receive() {
    if (!Fill(kMessageHeaderSize)) return std::nullopt;
    const auto header = DecodeHeader(received_.data());
    if (!header) return std::nullopt;
    // Bounded by DecodeHeader before anything of that size is read.
    if (!Fill(kMessageHeaderSize + header->payloadSize)) return std::nullopt;
    auto message = DecodePayload(*header, received_.data() + kMessageHeaderSize);
    taken_ = kMessageHeaderSize + header->payloadSize;
    return message;
}
