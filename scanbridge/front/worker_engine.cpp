#include "worker_engine.h"

// clang-format off
#include <windows.h>
// clang-format on

#include "stderr_line.h"
#include "trace.h"
#include "worker_process.h"

namespace {

constexpr wchar_t kWorkerProgram[] = L"scanbridge_worker.exe";

// The worker lives beside this library.
std::wstring WorkerPath() {
    HMODULE self = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&kWorkerProgram), &self);
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return kWorkerProgram;
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L'\\') + 1) + kWorkerProgram;
}

std::string Narrow(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    return out;
}

}  // namespace

WorkerEngine::~WorkerEngine() {
    const std::lock_guard<std::mutex> lock(workerLock_);
    worker_.reset();
}

void WorkerEngine::LeaveToSystem() {
    const std::lock_guard<std::mutex> lock(workerLock_);
    if (worker_) worker_->Abandon();
}

std::shared_ptr<WorkerProcess> WorkerEngine::Worker() {
    {
        const std::lock_guard<std::mutex> lock(workerLock_);
        if (worker_ && worker_->Alive()) return worker_;
    }
    // A worker that died (its driver crashed) is replaced by a fresh one.
    EndSession();
    if (startFailed_) return nullptr;
    const std::wstring path = WorkerPath();
    std::string why;
    std::shared_ptr<WorkerProcess> started = WorkerProcess::Start(path, why);
    if (!started) {
        // Said once: from here on the bridge answers as on a machine without
        // TWAIN.
        startFailed_ = true;
        SayOnStderr("scanbridge: no scanning: the worker " + Narrow(path) + " " + why);
        if (trace::On()) trace::Line("worker " + Narrow(path) + " " + why);
        return nullptr;
    }
    if (trace::On()) trace::Line("worker started, process " + std::to_string(started->Id()));
    const std::lock_guard<std::mutex> lock(workerLock_);
    worker_ = started;
    return worker_;
}

void WorkerEngine::EndSession() {
    std::shared_ptr<WorkerProcess> ended;
    {
        const std::lock_guard<std::mutex> lock(workerLock_);
        ended = std::move(worker_);
    }
    // A stop on another thread may still hold it; the last holder ends it.
    if (!ended) return;
    if (trace::On())
        trace::Line("session with the worker ended, process " + std::to_string(ended->Id()) +
                    (ended->Alive() ? "" : ", which is gone"));
    ended->Channel().Close();
}

bool WorkerEngine::Send(const Message& message) {
    std::shared_ptr<WorkerProcess> worker;
    {
        const std::lock_guard<std::mutex> lock(workerLock_);
        worker = worker_;
    }
    return worker && worker->Channel().Send(message);
}

std::optional<Message> WorkerEngine::Ask(const Message& request, bool pagesMayCome) {
    const std::shared_ptr<WorkerProcess> worker = Worker();
    if (!worker) return std::nullopt;
    if (!worker->Channel().Send(request)) {
        EndSession();
        return std::nullopt;
    }
    for (;;) {
        auto reply = worker->Channel().Receive();
        if (reply && reply->kind == MessageKind::Answer) {
            // Only the source list comes with bytes.
            if (request.kind != MessageKind::ListSources && !reply->bytes.empty()) break;
            return reply;
        }
        if (!reply || reply->kind != MessageKind::Page || !pagesMayCome) break;
        if (!TakePage(*worker, *reply)) break;
    }
    // Gone, or it said what it must not: the session ends, never the JVM.
    EndSession();
    return std::nullopt;
}

void WorkerEngine::ReleasePageView() {
    if (pageView_ != nullptr) UnmapViewOfFile(pageView_);
    pageView_ = nullptr;
    pageViewSize_ = 0;
}

bool WorkerEngine::TakePage(WorkerProcess& worker, const Message& page) {
    const auto size = static_cast<std::size_t>(page.numbers[1]);
    const std::int32_t serial = page.numbers[2];
    if (pageView_ == nullptr || serial != pageSerial_) {
        ReleasePageView();
        HANDLE mapping = nullptr;
        const auto remote = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(page.numbers[0]));
        if (!DuplicateHandle(worker.Process(), remote, GetCurrentProcess(), &mapping, FILE_MAP_READ,
                             FALSE, 0))
            return false;
        pageView_ = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
        CloseHandle(mapping);
        if (pageView_ == nullptr) return false;
        MEMORY_BASIC_INFORMATION region{};
        if (VirtualQuery(pageView_, &region, sizeof(region)) == 0) return false;
        pageViewSize_ = region.RegionSize;
        pageSerial_ = serial;
    }
    // The worker said more than it mapped.
    if (size > pageViewSize_) return false;
    hook_(pageView_, size);
    return worker.Channel().Send(MakeMessage(MessageKind::PageTaken));
}

std::string WorkerEngine::ListSourceNames() {
    const auto reply = Ask(MakeMessage(MessageKind::ListSources));
    if (!reply || reply->bytes.empty()) return std::string(1, '\0');
    return reply->bytes;
}

bool WorkerEngine::OpenSourceByName(const char* name) {
    const std::string bytes(name);
    if (bytes.size() > kMaxNameBytes) return false;
    const auto reply = Ask(MakeMessage(MessageKind::OpenSource, 0, 0, bytes));
    return reply && reply->numbers[0] != 0;
}

bool WorkerEngine::PickDefaultSource() {
    const auto reply = Ask(MakeMessage(MessageKind::PickDefault));
    return reply && reply->numbers[0] != 0;
}

bool WorkerEngine::ApplyPixelType(int type) {
    const auto reply = Ask(MakeMessage(MessageKind::PixelType, type));
    return reply && reply->numbers[0] != 0;
}

bool WorkerEngine::ApplyResolution(int x, int y) {
    const auto reply = Ask(MakeMessage(MessageKind::Resolution, x, y));
    return reply && reply->numbers[0] != 0;
}

bool WorkerEngine::ApplyDuplex(bool on) {
    const auto reply = Ask(MakeMessage(MessageKind::Duplex, on ? 1 : 0));
    return reply && reply->numbers[0] != 0;
}

int WorkerEngine::SetShowUI(bool show) {
    // Remembered by the worker until its source closes; answered 1 as ever.
    Ask(MakeMessage(MessageKind::ShowUI, show ? 1 : 0));
    return 1;
}

void WorkerEngine::BeginScan() {
    scanning_ = 1;
    // Sent before any stop of this scan can be: the worker forgets earlier
    // stops now, not when the scan request arrives.
    if (Worker() && !Send(MakeMessage(MessageKind::BeginScan))) EndSession();
}

bool WorkerEngine::RunScan(int count) {
    const std::shared_ptr<WorkerProcess> worker = Worker();
    bool answer = true;
    if (worker) {
        // The driver's dialog belongs to the worker; it may come up in front
        // of the Java window.
        AllowSetForegroundWindow(worker->Id());
        const auto reply = Ask(MakeMessage(MessageKind::Scan, count), true);
        ReleasePageView();
        // A worker that died during the scan ends it as failed.
        answer = reply && reply->numbers[0] != 0;
    }
    scanning_ = 0;
    return answer;
}

int WorkerEngine::StopScan() {
    scanning_ = 0;
    {
        // No worker, or a dead one, holds no open source: none is started
        // just to hear that.
        const std::lock_guard<std::mutex> lock(workerLock_);
        if (!worker_ || !worker_->Alive()) return 0;
    }
    const auto reply = Ask(MakeMessage(MessageKind::StopAlone));
    return reply ? reply->numbers[0] : 0;
}

int WorkerEngine::RequestStop() {
    scanning_ = 0;
    // Nothing of TWAIN here: the worker's reading thread hands the stop to
    // its engine, and the scan ends from the worker's own scanning thread.
    Send(MakeMessage(MessageKind::RequestStop));
    return 1;
}

bool WorkerEngine::IsScanning() const { return scanning_ != 0; }
