#include "support/utility_library.h"

#include "support/install_path.h"

namespace {
const char kUtilityLibraryName[] = "Gantry1.dll";
}

CUtilityLibrary::CUtilityLibrary() {
    // The read's result is not looked at: with no folder the path becomes
    // "\Gantry1.dll", which simply fails to load.
    ReadDataFolder(path_);
    AppendBackslash(path_);
    path_ += kUtilityLibraryName;
    module_ = LoadLibraryA(path_.c_str());
}

CUtilityLibrary::~CUtilityLibrary() {
    if (module_ != nullptr) FreeLibrary(module_);
}

std::string CUtilityLibrary::LoadText(UINT id) const {
    if (module_ == nullptr) return std::string();
    char buffer[kUtilityTextSize];
    const int length = LoadStringA(module_, id, buffer, kUtilityTextSize);
    if (length <= 0) return std::string();
    return std::string(buffer, static_cast<size_t>(length));
}
