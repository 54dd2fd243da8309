// Demo.ime: the sample package's input-method module. It registers its UI window class,
// describes itself to the input-method manager and otherwise declines every request.
#include "demo/package/ime/ime_interface.h"

#include <cwchar>

namespace {

constexpr wchar_t kUiClass[] = L"DemoImeUI";
static_assert(sizeof kUiClass / sizeof kUiClass[0] <= kImeUiClassCapacity, "the UI class name must fit");

HINSTANCE g_module = nullptr;

// The manager creates one window of this class per input context; a real IME draws its
// composition and candidate windows from it. The IME messages are answered here, never
// passed to DefWindowProcW, which would send them back to the manager.
LRESULT CALLBACK UiWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if ((message >= WM_IME_STARTCOMPOSITION && message <= WM_IME_KEYLAST) ||
        (message >= WM_IME_SETCONTEXT && message <= WM_IME_KEYUP)) {
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterUiClass() {
    WNDCLASSEXW windowClass = {sizeof windowClass};
    windowClass.style = CS_IME;
    windowClass.lpfnWndProc = UiWindowProc;
    // Room for the IMMGWL_IMC and IMMGWL_PRIVATE words that the manager stores.
    windowClass.cbWndExtra = 2 * sizeof(LONG_PTR);
    windowClass.hInstance = g_module;
    windowClass.lpszClassName = kUiClass;
    return RegisterClassExW(&windowClass) != 0;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = module;
        DisableThreadLibraryCalls(module);
        return RegisterUiClass();
    }
    if (reason == DLL_PROCESS_DETACH) UnregisterClassW(kUiClass, g_module);
    return TRUE;
}

BOOL WINAPI ImeInquire(IMEINFO* info, wchar_t* uiClass, DWORD) {
    if (!info || !uiClass) return FALSE;
    info->dwPrivateDataSize = 0;
    info->fdwProperty = IME_PROP_UNICODE | IME_PROP_AT_CARET;
    info->fdwConversionCaps = IME_CMODE_NATIVE | IME_CMODE_FULLSHAPE;
    info->fdwSentenceCaps = IME_SMODE_NONE;
    info->fdwUICaps = UI_CAP_2700;
    info->fdwSCSCaps = 0;
    info->fdwSelectCaps = SELECT_CAP_CONVERSION;
    wcscpy(uiClass, kUiClass);
    return TRUE;
}

DWORD WINAPI ImeConversionList(HIMC, const wchar_t*, CANDIDATELIST*, DWORD, UINT) { return 0; }
BOOL WINAPI ImeConfigure(HKL, HWND, DWORD, void*) { return FALSE; }
BOOL WINAPI ImeDestroy(UINT) { return FALSE; }
LRESULT WINAPI ImeEscape(HIMC, UINT, void*) { return 0; }
BOOL WINAPI ImeProcessKey(HIMC, UINT, LPARAM, const BYTE*) { return FALSE; }
BOOL WINAPI ImeSelect(HIMC, BOOL) { return FALSE; }
BOOL WINAPI ImeSetActiveContext(HIMC, BOOL) { return FALSE; }
UINT WINAPI ImeToAsciiEx(UINT, UINT, const BYTE*, TRANSMSGLIST*, UINT, HIMC) { return 0; }
BOOL WINAPI NotifyIME(HIMC, DWORD, DWORD, DWORD) { return FALSE; }
BOOL WINAPI ImeRegisterWord(const wchar_t*, DWORD, const wchar_t*) { return FALSE; }
BOOL WINAPI ImeUnregisterWord(const wchar_t*, DWORD, const wchar_t*) { return FALSE; }
UINT WINAPI ImeGetRegisterWordStyle(UINT, STYLEBUFW*) { return 0; }
UINT WINAPI ImeEnumRegisterWord(REGISTERWORDENUMPROCW, const wchar_t*, DWORD, const wchar_t*, void*) { return 0; }
BOOL WINAPI ImeSetCompositionString(HIMC, DWORD, const void*, DWORD, const void*, DWORD) { return FALSE; }
