// A stand-in for scanbridge_worker.exe that breaks the protocol the way
// FAKE_WORKER_FAULT says, once it has greeted the bridge properly:
//   unknown         answers with a message of no known kind
//   huge            answers with a header announcing 2 GB
//   bytes           answers a scan with bytes, which only a source list has
//   page-oversized  sends a page larger than its mapping
//   page-handle     sends a page whose handle names nothing
//   page-ok         sends one proper page, then the scan's answer
// Every other request gets a plain answer 1.

// clang-format off
#include <windows.h>
// clang-format on

#include <cstring>
#include <string>
#include <vector>

#include "channel_message.h"
#include "pipe_channel.h"

namespace {

void SendRaw(HANDLE pipe, std::uint32_t kind, std::uint32_t size) {
    unsigned char header[8];
    std::memcpy(header, &kind, 4);
    std::memcpy(header + 4, &size, 4);
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD done = 0;
    if (!WriteFile(pipe, header, sizeof(header), &done, &overlapped))
        GetOverlappedResult(pipe, &overlapped, &done, TRUE);
    CloseHandle(overlapped.hEvent);
}

// A BMP file of one 24-bit pixel.
std::vector<unsigned char> TinyBmp() {
    std::vector<unsigned char> bmp(14 + 40 + 4);
    const std::uint32_t size = static_cast<std::uint32_t>(bmp.size()), offset = 54, header = 40;
    const std::int32_t one = 1;
    const std::uint16_t planes = 1, bits = 24;
    bmp[0] = 'B';
    bmp[1] = 'M';
    std::memcpy(&bmp[2], &size, 4);
    std::memcpy(&bmp[10], &offset, 4);
    std::memcpy(&bmp[14], &header, 4);
    std::memcpy(&bmp[18], &one, 4);
    std::memcpy(&bmp[22], &one, 4);
    std::memcpy(&bmp[26], &planes, 2);
    std::memcpy(&bmp[28], &bits, 2);
    return bmp;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args == nullptr || count != 3) return 2;
    const HANDLE pipe = CreateFileW(args[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return 3;
    char fault[32] = {};
    GetEnvironmentVariableA("FAKE_WORKER_FAULT", fault, sizeof(fault));
    const std::string mode = fault;
    PipeChannel channel(pipe);
    channel.Send(MakeMessage(MessageKind::Hello, kProtocolVersion));
    HANDLE mapping = nullptr;
    for (;;) {
        const auto request = channel.Receive();
        if (!request) return 0;
        if (request->kind == MessageKind::BeginScan || request->kind == MessageKind::RequestStop ||
            request->kind == MessageKind::PageTaken)
            continue;
        if (request->kind != MessageKind::Scan) {
            channel.Send(MakeMessage(MessageKind::Answer, 1));
            continue;
        }
        if (mode == "unknown") {
            SendRaw(pipe, 99, 0);
        } else if (mode == "huge") {
            SendRaw(pipe, static_cast<std::uint32_t>(MessageKind::Answer), 0x7FFFFFF0);
        } else if (mode == "bytes") {
            channel.Send(MakeMessage(MessageKind::Answer, 1, 0, "surprise"));
        } else if (mode == "page-handle") {
            channel.Send(MakeMessage(MessageKind::Page, 0x1234, 100, {}, 1));
        } else {
            const std::vector<unsigned char> bmp = TinyBmp();
            mapping =
                CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
            void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
            std::memcpy(view, bmp.data(), bmp.size());
            UnmapViewOfFile(view);
            const auto value = static_cast<std::int32_t>(reinterpret_cast<INT_PTR>(mapping));
            const std::int32_t size =
                mode == "page-oversized" ? 1 << 20 : static_cast<std::int32_t>(bmp.size());
            channel.Send(MakeMessage(MessageKind::Page, value, size, {}, 1));
            if (mode == "page-ok") {
                const auto taken = channel.Receive();
                if (!taken || taken->kind != MessageKind::PageTaken) return 4;
                channel.Send(MakeMessage(MessageKind::Answer, 1));
            }
        }
    }
}
