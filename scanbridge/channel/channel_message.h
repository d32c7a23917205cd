#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The messages between the 64-bit front of the bridge and its 32-bit worker.
// On the wire each is an 8-byte header (kind, payload size, little-endian
// 32-bit words) and its payload: the kind's fixed count of signed 32-bit
// numbers, then at most the kind's bound of raw bytes. Both sides check a
// header before they read its payload, and the payload before they use it,
// so a peer that sends anything else ends the session instead of making
// this side read or allocate what the peer chose.
enum class MessageKind : std::uint32_t {
    // Front to worker, each answered by one Answer (or, for Scan, by Pages
    // and then its Answer).
    ListSources = 1,
    OpenSource = 2,  // bytes: the ANSI product name
    PickDefault = 3,
    PixelType = 4,   // type
    Resolution = 5,  // x, y
    Duplex = 6,      // on
    ShowUI = 7,      // show
    Scan = 8,        // count
    StopAlone = 9,
    // Front to worker, not answered: they reach the engine on the worker's
    // reading thread, in the order they were sent, while its engine thread
    // may be inside a scan.
    BeginScan = 10,
    RequestStop = 11,
    PageTaken = 12,  // the front is done with the last Page
    // Worker to front.
    Hello = 20,   // protocol version, once the worker is ready
    Answer = 21,  // value; bytes: for ListSources, the name list
    // The file mapping's handle in the worker, the BMP file's size, and the
    // mapping's serial number: a new number for every mapping the worker
    // makes, so the front may keep one mapped while the number stays.
    Page = 22,
};

inline constexpr std::size_t kMessageHeaderSize = 8;
inline constexpr std::size_t kMaxNumbers = 3;
inline constexpr std::int32_t kProtocolVersion = 1;
// A source name is at most 34 bytes; the list of every installed source,
// each with its zero byte, stays far below this.
inline constexpr std::size_t kMaxSourceListBytes = 64 * 1024;
inline constexpr std::size_t kMaxNameBytes = 256;
// A BMP file that a Java byte array can hold, with at least the file header
// and an info header.
inline constexpr std::int64_t kMinPageBytes = 14 + 40;
inline constexpr std::int64_t kMaxPageBytes = 0x7FFFFFFF;

struct Message {
    MessageKind kind = MessageKind::Answer;
    std::array<std::int32_t, kMaxNumbers> numbers{};
    std::string bytes;
};

struct MessageHeader {
    MessageKind kind;
    std::uint32_t payloadSize;
};

Message MakeMessage(MessageKind kind, std::int32_t first = 0, std::int32_t second = 0,
                    std::string bytes = {}, std::int32_t third = 0);

std::vector<unsigned char> Encode(const Message& message);

// The header's kind and payload size, or nothing when the kind is unknown or
// the size does not fit the kind.
std::optional<MessageHeader> DecodeHeader(const unsigned char* header);

// The message of a header that DecodeHeader accepted and its payload, or
// nothing when the payload's values are out of the kind's bounds.
std::optional<Message> DecodePayload(const MessageHeader& header, const unsigned char* payload);
