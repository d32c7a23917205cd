// The front and the worker decode whatever arrives on their pipe: a header
// must bound its payload before the payload is read, and a decoded message
// must encode back to the very bytes it came from.
#include <cstring>
#include <vector>

#include "channel_message.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    if (size < kMessageHeaderSize) return 0;
    const auto header = DecodeHeader(data);
    if (!header) return 0;
    FUZZ_CHECK(header->payloadSize <= 4 * kMaxNumbers + kMaxSourceListBytes);
    // The payload in a buffer of its declared size only, so that any read
    // past it is caught.
    if (size - kMessageHeaderSize < header->payloadSize) return 0;
    std::vector<unsigned char> payload(data + kMessageHeaderSize,
                                       data + kMessageHeaderSize + header->payloadSize);
    const auto message = DecodePayload(*header, payload.data());
    if (!message) return 0;
    const std::vector<unsigned char> again = Encode(*message);
    FUZZ_CHECK(again.size() == kMessageHeaderSize + header->payloadSize);
    FUZZ_CHECK(std::memcmp(again.data(), data, again.size()) == 0);
    return 0;
}
