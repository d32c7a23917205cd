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
        MakeMessage(MessageKind::Page, 0x1A4, 24883254, {}, 3),
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
        {"a page without its serial", static_cast<std::uint32_t>(MessageKind::Page), 8},
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
    const auto words = [&](std::initializer_list<std::int32_t> values) {
        std::vector<unsigned char> bytes;
        for (std::int32_t value : values) {
            const auto one = word(value);
            bytes.insert(bytes.end(), one.begin(), one.end());
        }
        return bytes;
    };
    const auto page = static_cast<std::uint32_t>(MessageKind::Page);
    EXPECT_TRUE(RoundTrip(Wire(page, 12, words({0x1A4, 54, 1}))));
    EXPECT_FALSE(RoundTrip(Wire(page, 12, words({0x1A4, 53, 1}))))
        << "a page smaller than a BMP file's headers";
    EXPECT_FALSE(RoundTrip(Wire(page, 12, words({0x1A4, -5, 1})))) << "a negative size";
    EXPECT_FALSE(RoundTrip(Wire(page, 12, words({0, 100, 1})))) << "no handle";
    EXPECT_FALSE(RoundTrip(Wire(static_cast<std::uint32_t>(MessageKind::Duplex), 4, word(2))))
        << "a boolean is 0 or 1";
}

}  // namespace
