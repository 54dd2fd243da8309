// Message boxes: the program asks and warns with fixed texts and captions.
#pragma once
#include <windows.h>

namespace fw {

// An error box with an OK button; owner may be null (no owner window).
inline void ShowError(HWND owner, const wchar_t* text, const wchar_t* caption) {
    MessageBoxW(owner, text, caption, MB_OK | MB_ICONERROR);
}

// A Yes/No question with the question icon; true when the user answers Yes.
inline bool AskYesNo(HWND owner, const wchar_t* text, const wchar_t* caption) {
    return MessageBoxW(owner, text, caption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

}  // namespace fw
