// The application object: one per process, reached through Instance().
#include "framework/application.h"

namespace fw {

Application* Application::s_instance = nullptr;

Application::Application() { s_instance = this; }

Application::~Application() {
    if (s_instance == this) s_instance = nullptr;
}

int Application::Run(HINSTANCE instance) {
    m_instance = instance;
    try {
        InitInstance();
    } catch (const char* text) {
        OutputDebugStringA(text);
        m_exitCode = 1;
    }
    return m_exitCode;
}

}  // namespace fw
