// The browser control's container: creation, in-place activation, navigation, teardown.
#include "framework/browser_host.h"

#include "framework/handles.h"

namespace fw {

namespace {

// The web browser control, {8856F961-340A-11D0-A96B-00C04FD705A2}.
const CLSID kWebBrowser = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
constexpr DISPID kNavigate = 104;

}  // namespace

BrowserHost::~BrowserHost() { Destroy(); }

bool BrowserHost::Create(HWND placeholder) {
    Destroy();
    m_parent = GetParent(placeholder);
    GetWindowRect(placeholder, &m_position);
    MapWindowPoints(nullptr, m_parent, reinterpret_cast<POINT*>(&m_position), 2);

    IOleObject* object = nullptr;
    if (FAILED(CoCreateInstance(kWebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&object)))) {
        return false;
    }
    if (FAILED(object->SetClientSite(this)) ||
        FAILED(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, m_parent, &m_position))) {
        object->Close(OLECLOSE_NOSAVE);
        object->SetClientSite(nullptr);
        object->Release();
        return false;
    }
    m_object = object;
    ShowWindow(placeholder, SW_HIDE);
    return true;
}

void BrowserHost::Destroy() {
    if (!m_object) return;
    // Close drops the control's in-place window; clearing the site drops its references to us.
    m_object->Close(OLECLOSE_NOSAVE);
    m_object->SetClientSite(nullptr);
    m_object->Release();
    m_object = nullptr;
}

void BrowserHost::Navigate(const wchar_t* url) {
    m_lastUrl = url;
    if (!m_object) return;
    ComPointer<IDispatch> browser;
    if (FAILED(m_object->QueryInterface(IID_IDispatch, browser.Receive()))) return;

    // Arguments go in reverse order: the URL last; flags, target frame, post data and
    // headers by reference, as the control's optional VARIANT* parameters, all empty.
    VARIANT empty[4];
    VARIANTARG arguments[5];
    for (int i = 0; i < 4; ++i) {
        VariantInit(&empty[i]);
        VariantInit(&arguments[i]);
        arguments[i].vt = VT_VARIANT | VT_BYREF;
        arguments[i].pvarVal = &empty[i];
    }
    VariantInit(&arguments[4]);
    arguments[4].vt = VT_BSTR;
    arguments[4].bstrVal = SysAllocString(url);
    DISPPARAMS parameters = {arguments, nullptr, 5, 0};
    browser->Invoke(kNavigate, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, nullptr, nullptr,
                    nullptr);
    SysFreeString(arguments[4].bstrVal);
}

STDMETHODIMP BrowserHost::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
        *out = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite)) {
        *out = static_cast<IOleInPlaceSite*>(this);
    } else if (IsEqualIID(iid, IID_IOleInPlaceUIWindow) || IsEqualIID(iid, IID_IOleInPlaceFrame)) {
        *out = static_cast<IOleInPlaceFrame*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    return S_OK;
}

STDMETHODIMP BrowserHost::GetContainer(IOleContainer** out) {
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP BrowserHost::GetWindow(HWND* out) {
    *out = m_parent;
    return S_OK;
}

STDMETHODIMP BrowserHost::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                           LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
    *frame = this;
    *document = nullptr;
    *position = m_position;
    *clip = m_position;
    info->fMDIApp = FALSE;
    info->hwndFrame = m_parent;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

}  // namespace fw
