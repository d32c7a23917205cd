// A JVM of its own for the tests of the front's lifetime: loads the 64-bit
// scanbridge.dll beside it and, by its argument,
//   wait  starts the worker (one source list), says "ready" and waits to be killed
//   scan  scans two pages of the virtual scanner and says "pages N worker PID"
//   list  asks for the sources twice and says "sources N"

#include <cstdio>
#include <string>

#include "fake_jvm.h"
#include "scanbridge_dll.h"
#include "worker_processes.h"

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    FakeJvm jvm;
    ScanbridgeDll dll("scanbridge.dll");
    if (!dll.Loaded()) return 3;
    JNIEnv* env = jvm.Env();
    jobject self = jvm.Scan();
    if (mode == "wait") {
        jvm.DeleteLocal(dll.getAvailableSources(env, self));
        std::printf("ready\n");
        std::fflush(stdout);
        Sleep(INFINITE);
    }
    if (mode == "scan") {
        if (dll.selectSource(env, self, jvm.NewString(u"Korvelo Virtual Scanner")) != JNI_TRUE)
            return 4;
        dll.setShowUI(env, self, JNI_FALSE);
        const std::vector<DWORD> workers = WorkersOf(GetCurrentProcessId());
        const jboolean scanned = dll.scan(env, self, 2);
        std::printf("pages %d worker %lu answer %d\n", static_cast<int>(jvm.pages.size()),
                    workers.size() == 1 ? workers[0] : 0ul, scanned);
        return 0;
    }
    if (mode == "list") {
        std::size_t count = 0;
        for (int i = 0; i < 2; ++i) {
            jobjectArray sources = dll.getAvailableSources(env, self);
            count = jvm.Strings(sources).size();
            jvm.DeleteLocal(sources);
        }
        std::printf("sources %d\n", static_cast<int>(count));
        return 0;
    }
    return 2;
}
