#pragma once

// clang-format off
#include <windows.h>
// clang-format on

// The per-module state that an extension library keeps with the class
// library it extends: its instance, where its resources live, and its place
// in the chain of loaded extension libraries that resource look-ups walk.
struct ExtensionModule {
    HINSTANCE module = nullptr;
    HINSTANCE resources = nullptr;
    bool initialized = false;
    ExtensionModule* next = nullptr;
};

// At process attach. Answers false when the module cannot be set up, and
// the load is then refused.
bool InitExtensionModule(ExtensionModule& state, HINSTANCE module);
// Adds an initialised module to the chain.
void ChainExtensionModule(ExtensionModule& state);
// At process detach: leaves the chain and forgets the module.
void TermExtensionModule(ExtensionModule& state);
