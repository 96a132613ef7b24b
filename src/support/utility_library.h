/*
 * CUtilityLibrary: the maker's utility library "Gantry1.dll" in the
 * data-file folder, loaded only to read the string resources of the
 * pairing question (caption 57344, question 61204, continuation 61205).
 */
#ifndef MORVANE_SUPPORT_UTILITY_LIBRARY_H
#define MORVANE_SUPPORT_UTILITY_LIBRARY_H

#include "platform/win32api.h"
#include <string>

// String resources of the pairing question.
constexpr UINT kPairingCaptionId = 57344;       // 0xE000
constexpr UINT kPairingQuestionId = 61204;      // 0xEF14
constexpr UINT kPairingContinuationId = 61205;  // 0xEF15

// Characters LoadText can return at most, its terminating zero included.
constexpr int kUtilityTextSize = 516;

class CUtilityLibrary {
public:
    // Loads data-file folder + "\" (unless it ends in one) + "Gantry1.dll";
    // with no folder in the registry, "\Gantry1.dll".  A failure is not
    // reported: the object then yields empty texts.
    CUtilityLibrary();
    virtual ~CUtilityLibrary();
    CUtilityLibrary(const CUtilityLibrary&) = delete;
    CUtilityLibrary& operator=(const CUtilityLibrary&) = delete;

    // String resource id, cut to what fits in kUtilityTextSize characters;
    // empty when the library is not loaded or has no such string.
    std::string LoadText(UINT id) const;

    bool IsLoaded() const { return module_ != nullptr; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    HMODULE module_ = nullptr;
};

#endif
