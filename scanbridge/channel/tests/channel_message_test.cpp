#include "channel_message.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::optional<Message> RoundTrip(const std::vector<unsigned char>& wire) {
    if (wire.size() < kMessageHeaderSize) return std::nullopt;
    const auto header = DecodeHeader(wire.data());
    if (!header || header->payloadSize != wire.size() - kMessageHeaderSize) return std::nullopt;
    return DecodePayload(*header, wire.data() + kMessageHeaderSize);
}

std::vector<unsigned char> Wire(std::uint32_t kind, std::uint32_t size,
                                std::vector<unsigned char> payload = {}) {
    std::vector<unsigned char> wire(8);
    std::memcpy(wire.data(), &kind, 4);
    std::memcpy(wire.data() + 4, &size, 4);
    wire.insert(wire.end(), payload.begin(), payload.end());
    return wire;
}

TEST(ChannelMessage, EveryKindComesBackAsSent) {
    const std::string names("Alpha\0Beta\0\0", 12);
    const Message sent[] = {
        MakeMessage(MessageKind::ListSources),
        MakeMessage(MessageKind::OpenSource, 0, 0, "Sk\xe9ner"),
        MakeMessage(MessageKind::Resolution, 300, -7),
        MakeMessage(MessageKind::Duplex, 1),
        MakeMessage(MessageKind::Scan, -1),
        MakeMessage(MessageKind::Answer, 1, 0, names),
        MakeMessage(MessageKind::Page, 0x1A4, 24883254),
        MakeMessage(MessageKind::Hello, kProtocolVersion),
    };
    for (const Message& message : sent) {
        const auto back = RoundTrip(Encode(message));
        ASSERT_TRUE(back) << static_cast<int>(message.kind);
        EXPECT_EQ(back->kind, message.kind);
        EXPECT_EQ(back->numbers, message.numbers);
        EXPECT_EQ(back->bytes, message.bytes);
    }
}

TEST(ChannelMessage, HeadersOutsideTheirKindsBoundsAreRefusedBeforeAnyPayloadIsRead) {
    struct Case {
        const char* what;
        std::uint32_t kind;
        std::uint32_t size;
    } cases[] = {
        {"unknown kind", 0, 0},
        {"unknown kind beyond the last", 23, 4},
        {"numbers missing", static_cast<std::uint32_t>(MessageKind::Resolution), 4},
        {"bytes where none belong", static_cast<std::uint32_t>(MessageKind::Scan), 5},
        {"a name longer than any", static_cast<std::uint32_t>(MessageKind::OpenSource),
         kMaxNameBytes + 1},
        {"a list larger than the bound", static_cast<std::uint32_t>(MessageKind::Answer),
         4 + kMaxSourceListBytes + 1},
        {"a size that wraps", static_cast<std::uint32_t>(MessageKind::Answer), 0xFFFFFFFF},
    };
    for (const Case& c : cases) {
        const auto wire = Wire(c.kind, c.size);
        EXPECT_FALSE(DecodeHeader(wire.data())) << c.what;
    }
}

TEST(ChannelMessage, PayloadValuesOutsideTheirBoundsAreRefused) {
    const auto word = [](std::int32_t value) {
        std::vector<unsigned char> bytes(4);
        std::memcpy(bytes.data(), &value, 4);
        return bytes;
    };
    auto page = word(0x1A4);
    const auto tooSmall = word(53);
    page.insert(page.end(), tooSmall.begin(), tooSmall.end());
    EXPECT_FALSE(RoundTrip(Wire(static_cast<std::uint32_t>(MessageKind::Page), 8, page)))
        << "a page smaller than a BMP file's headers";
    auto nullHandle = word(0);
    const auto size = word(100);
    nullHandle.insert(nullHandle.end(), size.begin(), size.end());
    EXPECT_FALSE(RoundTrip(Wire(static_cast<std::uint32_t>(MessageKind::Page), 8, nullHandle)));
    EXPECT_FALSE(RoundTrip(Wire(static_cast<std::uint32_t>(MessageKind::Duplex), 4, word(2))))
        << "a boolean is 0 or 1";
}

}  // namespace
