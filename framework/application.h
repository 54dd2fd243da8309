// Application: the process-wide object whose InitInstance does the program's whole run.
#pragma once
#include <windows.h>

#include "framework/window.h"

namespace fw {

class Application {
public:
    Application();
    virtual ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The one instance of the process, or null before it is constructed.
    static Application* Instance() { return s_instance; }

    // Runs the program; the result is the process's exit code.
    int Run(HINSTANCE instance);

    // The window that currently stands for the program (the dialog of the mode,
    // later the wizard page on top).
    void SetMainWindow(Window* window) { m_mainWindow = window; }
    Window* MainWindow() const { return m_mainWindow; }

    HINSTANCE ModuleInstance() const { return m_instance; }

    void SetExitCode(int code) { m_exitCode = code; }

protected:
    // The whole run; the return value is ignored, as the run is over when it returns.
    virtual BOOL InitInstance() = 0;

private:
    static Application* s_instance;
    HINSTANCE m_instance = nullptr;
    Window* m_mainWindow = nullptr;
    int m_exitCode = 0;
};

}  // namespace fw
