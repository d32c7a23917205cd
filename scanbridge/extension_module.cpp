#include "extension_module.h"

namespace {

ExtensionModule* chain = nullptr;

}  // namespace

bool InitExtensionModule(ExtensionModule& state, HINSTANCE module) {
    if (module == nullptr) return false;
    state.module = module;
    state.resources = module;
    state.initialized = true;
    return true;
}

void ChainExtensionModule(ExtensionModule& state) {
    if (!state.initialized) return;
    state.next = chain;
    chain = &state;
}

void TermExtensionModule(ExtensionModule& state) {
    for (ExtensionModule** link = &chain; *link != nullptr; link = &(*link)->next) {
        if (*link == &state) {
            *link = state.next;
            break;
        }
    }
    state = ExtensionModule{};
}
