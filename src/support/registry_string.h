/*
 * Reading one text value from the registry.
 */
#ifndef MORVANE_SUPPORT_REGISTRY_STRING_H
#define MORVANE_SUPPORT_REGISTRY_STRING_H

#include "platform/win32api.h"
#include <string>

// Opens subkey under root for reading and reads valueName into buffer, at
// most size bytes; the value's type is not looked at.  Returns whether the
// value was read.  When the key cannot be opened the buffer is untouched.
bool GetRegistryString(const char* subkey, const char* valueName, char* buffer, DWORD size, HKEY root);

// The same into a growable text: reads at most size bytes and keeps the
// text up to its first zero.  When the key cannot be opened, text is
// untouched; when the read fails, it holds whatever the query left.
bool GetRegistryString(const char* subkey, const char* valueName, std::string& text, DWORD size, HKEY root);

#endif
