#include "platform/TTListBox_win32.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace platform {
namespace win32 {
namespace {

const char* const kProperty = "Keyhold.TTListBox";

HWND hwnd(void* p) { return static_cast<HWND>(p); }

bool isListBox(HWND window) {
    char name[32] = {};
    GetClassNameA(window, name, sizeof name);
    return lstrcmpiA(name, "ListBox") == 0;
}

}  // namespace

struct TTListBoxAccess {
    static LRESULT CALLBACK windowProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
        CTTListBox* self = static_cast<CTTListBox*>(GetPropA(list, kProperty));
        if (self == nullptr) return DefWindowProcA(list, message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            WNDPROC original = reinterpret_cast<WNDPROC>(self->m_original);
            SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
            RemovePropA(list, kProperty);
            delete self;  // wipes the copies, destroys the tool tip
            return CallWindowProcA(original, list, message, wParam, lParam);
        }
        return self->handle(message, wParam, lParam);
    }
    static CTTListBox* make(HWND list) { return new CTTListBox(list); }
};

CTTListBox* CTTListBox::of(void* listBox) {
    HWND list = hwnd(listBox);
    return list != nullptr ? static_cast<CTTListBox*>(GetPropA(list, kProperty)) : nullptr;
}

CTTListBox* CTTListBox::attach(void* listBox) {
    HWND list = hwnd(listBox);
    if (list == nullptr || !IsWindow(list) || !isListBox(list)) return nullptr;
    if (CTTListBox* existing = of(list)) return existing;
    CTTListBox* self = TTListBoxAccess::make(list);
    SetPropA(list, kProperty, self);
    self->m_original = reinterpret_cast<void*>(
        SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TTListBoxAccess::windowProc)));
    self->m_toolTip.create(list);
    return self;
}

CTTListBox::CTTListBox(void* listBox) : m_list(listBox) {}

CTTListBox::~CTTListBox() { releaseAll(); }

std::intptr_t CTTListBox::callOriginal(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    return CallWindowProcA(reinterpret_cast<WNDPROC>(m_original), hwnd(m_list), message, wParam, lParam);
}

int CTTListBox::addString(const std::string& text, const std::string& toolTip) {
    LRESULT at = SendMessageA(hwnd(m_list), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (at < 0) return static_cast<int>(at);
    std::string* copy = new std::string(toolTip);
    m_copies.insert(copy);
    SendMessageA(hwnd(m_list), LB_SETITEMDATA, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(copy));
    return static_cast<int>(at);
}

void CTTListBox::setTextCallback(TextCallback callback, ePlacement placement) {
    m_callback = std::move(callback);
    m_placement = placement;
}

std::string CTTListBox::toolTipOf(std::uintptr_t data) {
    if (data == 0 || data == static_cast<std::uintptr_t>(LB_ERR)) return std::string();
    return *reinterpret_cast<const std::string*>(data);
}

void CTTListBox::release(std::string* copy) {
    auto it = m_copies.find(copy);
    if (it == m_copies.end()) return;
    std::fill(copy->begin(), copy->end(), '\0');
    delete copy;
    m_copies.erase(it);
}

void CTTListBox::releaseAll() {
    for (std::string* copy : m_copies) {
        std::fill(copy->begin(), copy->end(), '\0');
        delete copy;
    }
    m_copies.clear();
}

void CTTListBox::track(bool hover) {
    // Hover time 0: the tip comes as soon as the mouse rests. A hover is
    // asked for again only once the mouse moves: a mouse resting on the
    // list makes one hover, not a stream of them.
    TRACKMOUSEEVENT t{sizeof t, static_cast<DWORD>(TME_LEAVE | (hover ? TME_HOVER : 0)), hwnd(m_list), 0};
    if (TrackMouseEvent(&t) != FALSE) {
        m_tracking = true;
        if (hover) m_hoverPending = true;
    }
}

void CTTListBox::onMouseMove(int x, int y) {
    if (!m_tracking || !m_hoverPending) track(true);
    if (m_toolTip.shown()) pointAt(x, y);  // moving on while the tip is shown
}

void CTTListBox::onHover(int x, int y) {
    m_hoverPending = false;
    track(false);
    pointAt(x, y);
}

void CTTListBox::pointAt(int x, int y) {
    HWND list = hwnd(m_list);
    LRESULT hit = SendMessageA(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(x, y));
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    const int index = LOWORD(hit);
    if (hit == LB_ERR || HIWORD(hit) != 0 || index >= count) {
        m_current = -1;
        hideToolTip();
        return;
    }
    if (index == m_current) return;
    m_current = index;
    if (!m_callback) return;
    LRESULT data = SendMessageA(list, LB_GETITEMDATA, static_cast<WPARAM>(index), 0);
    std::string text = m_callback(index, static_cast<std::uintptr_t>(data));
    showToolTip(x, y, text);
    std::fill(text.begin(), text.end(), '\0');
}

void CTTListBox::onLeave() {
    m_tracking = false;
    m_hoverPending = false;
    POINT cursor{};
    GetCursorPos(&cursor);
    ScreenToClient(hwnd(m_list), &cursor);
    RECT client{};
    GetClientRect(hwnd(m_list), &client);
    if (!PtInRect(&client, cursor)) {
        m_current = -1;
        hideToolTip();
    }
}

void CTTListBox::showToolTip(int x, int y, const std::string& text) {
    hideToolTip();
    int atX = x + 10, atY = y - 5;
    if (m_placement == eRightEdge) {
        RECT client{};
        GetClientRect(hwnd(m_list), &client);
        atX = client.right;
        atY = client.top;
    }
    m_toolTip.setText(text);
    m_toolTip.showAt(atX, atY);
}

void CTTListBox::hideToolTip() { m_toolTip.hide(); }

std::intptr_t CTTListBox::handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    switch (message) {
        case WM_MOUSEMOVE:
            onMouseMove(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
            break;
        case WM_MOUSEHOVER:
            onHover(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
            break;
        case WM_MOUSELEAVE:
            onLeave();
            break;
        case kToolTip2Left:
            onLeave();
            return 0;
        case LB_RESETCONTENT: {
            m_current = -1;
            hideToolTip();
            LRESULT r = callOriginal(message, wParam, lParam);
            releaseAll();
            return r;
        }
        case LB_DELETESTRING: {
            LRESULT data = callOriginal(LB_GETITEMDATA, wParam, 0);
            LRESULT r = callOriginal(message, wParam, lParam);
            if (r != LB_ERR && data != LB_ERR) release(reinterpret_cast<std::string*>(data));
            m_current = -1;
            hideToolTip();
            return r;
        }
        default:
            break;
    }
    return callOriginal(message, wParam, lParam);
}

}  // namespace win32
}  // namespace platform
