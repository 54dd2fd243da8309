// config.exe of the sample package: the input method's settings program, which here only
// shows the command line it was started with.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
    MessageBoxW(nullptr, GetCommandLineW(), L"Demo 输入法设置", MB_OK | MB_ICONINFORMATION);
    return 0;
}
