#include "support/registry_string.h"

#include <string.h>
#include <vector>

bool GetRegistryString(const char* subkey, const char* valueName, char* buffer, DWORD size, HKEY root) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD bytes = size;
    const LONG result = RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &bytes);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

bool GetRegistryString(const char* subkey, const char* valueName, std::string& text, DWORD size, HKEY root) {
    // One character more than the query may fill, so the text always ends
    // in a zero; it starts as the old text, which a failed read leaves.
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
    memcpy(buffer.data(), text.data(), text.size() < size ? text.size() : size);
    const bool read = GetRegistryString(subkey, valueName, buffer.data(), size, root);
    text.assign(buffer.data());
    return read;
}
