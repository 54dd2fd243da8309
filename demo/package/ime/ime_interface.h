// The entry points that the system's input-method manager looks up in an IME module, and
// the records they exchange. mingw-w64 ships <imm.h> but not the driver-side <immdev.h>.
#pragma once
#include <windows.h>

#include <imm.h>

struct IMEINFO {
    DWORD dwPrivateDataSize;   // bytes the manager keeps per input context for the IME
    DWORD fdwProperty;
    DWORD fdwConversionCaps;
    DWORD fdwSentenceCaps;
    DWORD fdwUICaps;
    DWORD fdwSCSCaps;
    DWORD fdwSelectCaps;
};
static_assert(sizeof(IMEINFO) == 28, "IMEINFO layout");

struct TRANSMSG {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct TRANSMSGLIST {
    UINT uMsgCount;
    TRANSMSG TransMsg[1];
};

// The UI class name that ImeInquire hands over has room for 16 characters with its zero.
constexpr size_t kImeUiClassCapacity = 16;

#define IME_EXPORT extern "C" __declspec(dllexport)

IME_EXPORT BOOL WINAPI ImeInquire(IMEINFO* info, wchar_t* uiClass, DWORD systemInfoFlags);
IME_EXPORT DWORD WINAPI ImeConversionList(HIMC context, const wchar_t* source, CANDIDATELIST* destination,
                                          DWORD bufferLength, UINT flag);
IME_EXPORT BOOL WINAPI ImeConfigure(HKL layout, HWND parent, DWORD mode, void* data);
IME_EXPORT BOOL WINAPI ImeDestroy(UINT reserved);
IME_EXPORT LRESULT WINAPI ImeEscape(HIMC context, UINT escape, void* data);
IME_EXPORT BOOL WINAPI ImeProcessKey(HIMC context, UINT virtualKey, LPARAM keyData, const BYTE* keyState);
IME_EXPORT BOOL WINAPI ImeSelect(HIMC context, BOOL select);
IME_EXPORT BOOL WINAPI ImeSetActiveContext(HIMC context, BOOL active);
IME_EXPORT UINT WINAPI ImeToAsciiEx(UINT virtualKey, UINT scanCode, const BYTE* keyState, TRANSMSGLIST* messages,
                                    UINT state, HIMC context);
IME_EXPORT BOOL WINAPI NotifyIME(HIMC context, DWORD action, DWORD index, DWORD value);
IME_EXPORT BOOL WINAPI ImeRegisterWord(const wchar_t* reading, DWORD style, const wchar_t* word);
IME_EXPORT BOOL WINAPI ImeUnregisterWord(const wchar_t* reading, DWORD style, const wchar_t* word);
IME_EXPORT UINT WINAPI ImeGetRegisterWordStyle(UINT count, STYLEBUFW* styles);
IME_EXPORT UINT WINAPI ImeEnumRegisterWord(REGISTERWORDENUMPROCW callback, const wchar_t* reading, DWORD style,
                                           const wchar_t* word, void* data);
IME_EXPORT BOOL WINAPI ImeSetCompositionString(HIMC context, DWORD index, const void* composition,
                                               DWORD compositionLength, const void* reading, DWORD readingLength);
