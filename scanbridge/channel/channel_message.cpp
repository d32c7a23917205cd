#include "channel_message.h"

namespace {

struct Shape {
    std::size_t numbers;
    std::size_t maxBytes;
};

std::optional<Shape> ShapeOf(MessageKind kind) {
    switch (kind) {
        case MessageKind::ListSources:
        case MessageKind::PickDefault:
        case MessageKind::StopAlone:
        case MessageKind::BeginScan:
        case MessageKind::RequestStop:
        case MessageKind::PageTaken:
            return Shape{0, 0};
        case MessageKind::OpenSource:
            return Shape{0, kMaxNameBytes};
        case MessageKind::PixelType:
        case MessageKind::Duplex:
        case MessageKind::ShowUI:
        case MessageKind::Scan:
        case MessageKind::Hello:
            return Shape{1, 0};
        case MessageKind::Resolution:
            return Shape{2, 0};
        case MessageKind::Page:
            return Shape{3, 0};
        case MessageKind::Answer:
            return Shape{1, kMaxSourceListBytes};
    }
    return std::nullopt;
}

std::uint32_t ReadWord(const unsigned char* at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

void AppendWord(std::vector<unsigned char>& out, std::uint32_t word) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<unsigned char>(word >> shift));
}

// Values that must hold for a kind's numbers before anyone uses them.
bool NumbersInBounds(const Message& message) {
    const auto& n = message.numbers;
    switch (message.kind) {
        case MessageKind::Duplex:
        case MessageKind::ShowUI:
            return n[0] == 0 || n[0] == 1;
        case MessageKind::Page:
            // A handle value of the 32-bit worker, and a size a Java byte
            // array can hold.
            return n[0] != 0 && n[1] >= kMinPageBytes;
        default:
            return true;
    }
}

}  // namespace

Message MakeMessage(MessageKind kind, std::int32_t first, std::int32_t second, std::string bytes,
                    std::int32_t third) {
    Message message;
    message.kind = kind;
    message.numbers = {first, second, third};
    message.bytes = std::move(bytes);
    return message;
}

std::vector<unsigned char> Encode(const Message& message) {
    const std::size_t numbers = ShapeOf(message.kind)->numbers;
    std::vector<unsigned char> out;
    out.reserve(kMessageHeaderSize + 4 * numbers + message.bytes.size());
    AppendWord(out, static_cast<std::uint32_t>(message.kind));
    AppendWord(out, static_cast<std::uint32_t>(4 * numbers + message.bytes.size()));
    for (std::size_t i = 0; i < numbers; ++i)
        AppendWord(out, static_cast<std::uint32_t>(message.numbers[i]));
    out.insert(out.end(), message.bytes.begin(), message.bytes.end());
    return out;
}

std::optional<MessageHeader> DecodeHeader(const unsigned char* header) {
    const auto kind = static_cast<MessageKind>(ReadWord(header));
    const std::uint32_t size = ReadWord(header + 4);
    const auto shape = ShapeOf(kind);
    if (!shape) return std::nullopt;
    const std::size_t fixed = 4 * shape->numbers;
    if (size < fixed || size - fixed > shape->maxBytes) return std::nullopt;
    return MessageHeader{kind, size};
}

std::optional<Message> DecodePayload(const MessageHeader& header, const unsigned char* payload) {
    const auto shape = ShapeOf(header.kind);
    if (!shape) return std::nullopt;
    const std::size_t fixed = 4 * shape->numbers;
    if (header.payloadSize < fixed || header.payloadSize - fixed > shape->maxBytes)
        return std::nullopt;
    Message message;
    message.kind = header.kind;
    for (std::size_t i = 0; i < shape->numbers; ++i)
        message.numbers[i] = static_cast<std::int32_t>(ReadWord(payload + 4 * i));
    message.bytes.assign(reinterpret_cast<const char*>(payload) + fixed,
                         header.payloadSize - fixed);
    if (!NumbersInBounds(message)) return std::nullopt;
    return message;
}
