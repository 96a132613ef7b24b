#include "support/adapter_library.h"

namespace testing_support {

const char kGetInstallPathSymbol[] = "_Z14GetInstallPathPc";
const char kGetEmailBodyLengthSymbol[] = "_Z18GetEmailBodyLengthPi";

namespace {

// GetProcAddress gives every symbol one function type; going through
// void (*)(void), which matches every function type, states that the cast
// to the export's own type is meant.
template <typename Function>
void Find(HMODULE module, const char* name, Function& pointer) {
    using AnyFunction = void (*)(void);
    pointer = reinterpret_cast<Function>(reinterpret_cast<AnyFunction>(GetProcAddress(module, name)));
}

}  // namespace

AdapterLibrary::AdapterLibrary(const std::string& path) {
    module_ = LoadLibraryA(path.c_str());
    if (module_ == nullptr) return;
#define MORVANE_FIND_EXPORT(name) Find(module_, #name, api_.name);
    MORVANE_C_EXPORTS(MORVANE_FIND_EXPORT)
#undef MORVANE_FIND_EXPORT
    Find(module_, kGetInstallPathSymbol, api_.GetInstallPath);
    Find(module_, kGetEmailBodyLengthSymbol, api_.GetEmailBodyLength);
}

AdapterLibrary::~AdapterLibrary() {
    if (module_ != nullptr) FreeLibrary(module_);
}

std::string AdapterLibrary::DefaultPath() { return std::string(MORVANE_BIN_DIR) + "/libmorvane.so"; }

}  // namespace testing_support
