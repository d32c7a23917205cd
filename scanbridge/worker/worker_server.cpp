#include "worker_server.h"

#include <cstring>
#include <utility>

#include "bmp_packaging.h"

namespace {

// The one server of the process, for the engine's image hook.
WorkerServer* server = nullptr;

// After the front is gone the engine thread has this long to close the
// source and the manager, after the scan that may be running was asked to
// stop; a driver that holds it longer is not waited for.
constexpr DWORD kShutdownGraceMs = 10000;

}  // namespace

WorkerServer::WorkerServer(PipeChannel& channel)
    : channel_(channel),
      queued_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      pageTaken_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    server = this;
}

WorkerServer::~WorkerServer() {
    server = nullptr;
    ReleasePageMapping();
    CloseHandle(queued_);
    CloseHandle(pageTaken_);
}

void WorkerServer::DeliverImage(void* dib, std::size_t size) {
    if (server != nullptr) server->SendPage(dib, size);
}

void WorkerServer::ReleasePageMapping() {
    if (pageView_ != nullptr) UnmapViewOfFile(pageView_);
    if (pageMapping_ != nullptr) CloseHandle(pageMapping_);
    pageView_ = nullptr;
    pageMapping_ = nullptr;
    pageMappingSize_ = 0;
}

void* WorkerServer::PageView(std::size_t size) {
    if (pageView_ != nullptr && size <= pageMappingSize_) return pageView_;
    ReleasePageMapping();
    pageMapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      static_cast<DWORD>(size), nullptr);
    if (pageMapping_ == nullptr) return nullptr;
    pageView_ = MapViewOfFile(pageMapping_, FILE_MAP_WRITE, 0, 0, size);
    if (pageView_ == nullptr) {
        CloseHandle(pageMapping_);
        pageMapping_ = nullptr;
        return nullptr;
    }
    pageMappingSize_ = size;
    ++pageMappingSerial_;
    return pageView_;
}

void WorkerServer::SendPage(void* dib, std::size_t size) {
    if (gone_) return;
    const auto layout = MeasureDib(dib, size);
    if (!layout) return;
    // The page goes over as the BMP file itself, in memory the front maps:
    // the front copies it once more, into the Java array, and that is all.
    auto* view = static_cast<unsigned char*>(PageView(layout->fileSize));
    if (view == nullptr) return;
    StoreSizeImage(dib, *layout);
    const auto header = BmpFileHeader(*layout);
    std::memcpy(view, header.data(), header.size());
    std::memcpy(view + header.size(), dib, layout->DibBytes());
    // This thread waits until the front has made its array, so the mapping
    // is not written again before that.
    const auto value = static_cast<std::int32_t>(reinterpret_cast<INT_PTR>(pageMapping_));
    ResetEvent(pageTaken_);
    if (channel_.Send(MakeMessage(MessageKind::Page, value,
                                  static_cast<std::int32_t>(layout->fileSize), {},
                                  pageMappingSerial_)))
        WaitForSingleObject(pageTaken_, INFINITE);
}

DWORD WINAPI WorkerServer::ReadThread(void* self) {
    static_cast<WorkerServer*>(self)->Read();
    return 0;
}

void WorkerServer::Read() {
    for (;;) {
        auto message = channel_.Receive();
        if (!message) break;
        switch (message->kind) {
            case MessageKind::BeginScan:
                manager_.BeginScan();
                break;
            case MessageKind::RequestStop:
                manager_.RequestStop();
                break;
            case MessageKind::PageTaken:
                SetEvent(pageTaken_);
                break;
            case MessageKind::Hello:
            case MessageKind::Answer:
            case MessageKind::Page:
                // Only the worker sends these.
                FrontGone();
                return;
            default: {
                const std::lock_guard<std::mutex> lock(queueLock_);
                queue_.push_back(std::move(*message));
                SetEvent(queued_);
                break;
            }
        }
    }
    FrontGone();
}

void WorkerServer::FrontGone() {
    gone_ = true;
    // A scan in progress ends; a page waiting for the front goes nowhere.
    manager_.RequestStop();
    SetEvent(pageTaken_);
    SetEvent(queued_);
    PostThreadMessageW(engineThread_, WM_NULL, 0, 0);
    // The engine thread closes TWAIN and the process ends; a driver that
    // keeps it does not keep the process.
    Sleep(kShutdownGraceMs);
    TerminateProcess(GetCurrentProcess(), 1);
}

void WorkerServer::Execute(const Message& request) {
    const auto& n = request.numbers;
    std::int32_t value = 0;
    std::string bytes;
    switch (request.kind) {
        case MessageKind::ListSources:
            bytes = manager_.ListSourceNames();
            if (bytes.size() > kMaxSourceListBytes) bytes.assign(1, '\0');
            break;
        case MessageKind::OpenSource:
            value = manager_.OpenSourceByName(request.bytes.c_str());
            break;
        case MessageKind::PickDefault:
            value = manager_.PickDefaultSource();
            break;
        case MessageKind::PixelType:
            value = manager_.ApplyPixelType(n[0]);
            break;
        case MessageKind::Resolution:
            value = manager_.ApplyResolution(n[0], n[1]);
            break;
        case MessageKind::Duplex:
            value = manager_.ApplyDuplex(n[0] != 0);
            break;
        case MessageKind::ShowUI:
            value = manager_.SetShowUI(n[0] != 0);
            break;
        case MessageKind::Scan:
            value = manager_.RunScan(n[0]);
            // A page's worth of memory is not kept between scans.
            ReleasePageMapping();
            break;
        case MessageKind::StopAlone:
            value = manager_.StopScan();
            break;
        default:
            return;
    }
    channel_.Send(MakeMessage(MessageKind::Answer, value, 0, std::move(bytes)));
}

void WorkerServer::Serve(HINSTANCE instance) {
    engineThread_ = GetCurrentThreadId();
    MSG message;
    // The thread's queue exists before anyone can post to it.
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    manager_.Attach(instance, DeliverImage);
    const HANDLE reader = CreateThread(nullptr, 0, ReadThread, this, 0, nullptr);
    if (reader == nullptr) return;
    CloseHandle(reader);
    if (!channel_.Send(MakeMessage(MessageKind::Hello, kProtocolVersion))) return;

    while (!gone_) {
        // Between requests the engine thread handles its windows' messages,
        // as a message loop would.
        const DWORD woke = MsgWaitForMultipleObjects(1, &queued_, FALSE, INFINITE, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0 + 1) {
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            continue;
        }
        for (;;) {
            Message request;
            {
                const std::lock_guard<std::mutex> lock(queueLock_);
                if (queue_.empty() || gone_) break;
                request = std::move(queue_.front());
                queue_.pop_front();
            }
            Execute(request);
        }
    }
}
