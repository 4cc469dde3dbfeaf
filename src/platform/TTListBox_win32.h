// CTTListBox: a real LISTBOX control that shows a tool tip for the item the
// mouse rests on. The control is subclassed for the rest of its life; each
// item's tool-tip text is a heap copy whose address is the item's data
// value, so the text stays with its item when a sorted list moves it. The
// copies are wiped and freed when the items go (LB_RESETCONTENT,
// LB_DELETESTRING) and when the control is destroyed.
//
// The mouse: a movement over the list asks for hover and leave
// notifications (unless they are asked for already); a hover over an item
// other than the current one shows that item's text (from the text
// callback) 10 pixels right of and 5 above the cursor; later movements while
// the tip is shown count as hovers. When the mouse leaves the list (or the
// tip) for a place outside the list's client area, the tip is hidden.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "platform/ToolTip2_win32.h"

namespace platform {
namespace win32 {

class CTTListBox {
public:
    // The text to show for an item: its index and its data value.
    using TextCallback = std::function<std::string(int index, std::uintptr_t data)>;
    enum ePlacement { eNearCursor, eRightEdge };

    // Makes the list box (an HWND) a CTTListBox; a list that already is one
    // keeps its object. Null when the window is no list box.
    static CTTListBox* attach(void* listBox);
    static CTTListBox* of(void* listBox);

    // Adds the item with a copy of its tool-tip text: the item's index, or a
    // negative value when the list refused it.
    int addString(const std::string& text, const std::string& toolTip);
    void setTextCallback(TextCallback callback, ePlacement placement);
    // The text of an item's heap copy; empty when it has none.
    static std::string toolTipOf(std::uintptr_t data);

    CToolTip2& toolTip() { return m_toolTip; }
    int currentItem() const { return m_current; }

private:
    friend struct TTListBoxAccess;
    explicit CTTListBox(void* listBox);
    ~CTTListBox();

    std::intptr_t handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
    std::intptr_t callOriginal(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
    void track(bool hover);
    void onMouseMove(int x, int y);
    void onHover(int x, int y);
    // The item under the point becomes current and shows its tip; outside every item, none.
    void pointAt(int x, int y);
    void onLeave();
    void showToolTip(int x, int y, const std::string& text);
    void hideToolTip();
    void release(std::string* copy);
    void releaseAll();

    void* m_list;
    void* m_original = nullptr;  // the list's own window procedure
    std::set<std::string*> m_copies;
    CToolTip2 m_toolTip;
    int m_current = -1;       // the item under the mouse, -1 for none
    bool m_tracking = false;      // a leave notification is asked for
    bool m_hoverPending = false;  // and a hover notification
    TextCallback m_callback;
    ePlacement m_placement = eNearCursor;
};

}  // namespace win32
}  // namespace platform
