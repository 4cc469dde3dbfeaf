// Runs the chooser of matching entries ("Possible entries") as a real Win32
// dialog and plays its user from a second thread: reads the sorted list and
// each item's tool-tip text, picks items with LB_SETCURSEL, LB_SELECTSTRING
// and a double click, presses OK and Cancel, and moves the mouse over the
// items to bring up the tool tip, reading its text, place and size. Prints
// "N passed, M failed" and exits non-zero when a check failed.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "EntriesMatched.h"
#include "platform/TTListBox_win32.h"
#include "platform/ToolTip2_win32.h"
#include "res/resource.h"

#include "Checks.h"
#include "DialogUser.h"

namespace {

using platform::win32::CTTListBox;
using platform::win32::kToolTip2Class;

constexpr int kList = IDC_MATCHED_LIST;

// Shows line feeds, so that a failed comparison can be read.
std::string visible(const std::string& s) {
    std::string out;
    for (char c : s) out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out;
}

HWND waitForChooser() { return waitForDialog("Possible entries"); }

// The shown tool tip of this process, or null.
HWND visibleToolTip() { return findTopLevel(kToolTip2Class, "", true); }

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

class User {
public:
    explicit User(HWND dialog) : m_dialog(dialog), m_list(GetDlgItem(dialog, kList)) {}
    HWND dialog() const { return m_dialog; }
    HWND list() const { return m_list; }

    std::vector<std::string> items() {
        std::vector<std::string> out;
        LRESULT n = SendMessageA(m_list, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i) out.push_back(itemText(static_cast<int>(i)));
        return out;
    }
    std::string itemText(int i) {
        LRESULT n = SendMessageA(m_list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        if (n < 0) return std::string();
        std::vector<char> buffer(static_cast<std::size_t>(n) + 1, '\0');
        SendMessageA(m_list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer.data()));
        return buffer.data();
    }
    int indexOf(const std::string& item) {
        return static_cast<int>(
            SendMessageA(m_list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(item.c_str())));
    }
    int selected() { return static_cast<int>(SendMessageA(m_list, LB_GETCURSEL, 0, 0)); }
    std::string itemToolTip(int i) {
        return CTTListBox::toolTipOf(static_cast<std::uintptr_t>(SendMessageA(m_list, LB_GETITEMDATA, i, 0)));
    }
    RECT itemRect(int i) {
        RECT r{};
        SendMessageA(m_list, LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
        return r;
    }
    // The middle of an item, in list coordinates.
    POINT itemMiddle(int i) {
        RECT r = itemRect(i);
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    // Puts the cursor on the point of the list and lets the list see the move.
    POINT moveTo(POINT inList) {
        POINT screen = inList;
        ClientToScreen(m_list, &screen);
        SetCursorPos(screen.x, screen.y);
        PostMessageA(m_list, WM_MOUSEMOVE, 0, MAKELPARAM(inList.x, inList.y));
        return screen;
    }
    void doubleClick(POINT p) {
        LPARAM at = MAKELPARAM(p.x, p.y);
        PostMessageA(m_list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageA(m_list, WM_LBUTTONUP, 0, at);
        PostMessageA(m_list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        PostMessageA(m_list, WM_LBUTTONUP, 0, at);
    }
    void click(int id) {
        PostMessageA(m_dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(m_dialog, id)));
    }
    void giveUp() {
        waitUntil([&] {
            if (IsWindow(m_dialog)) PostMessageA(m_dialog, WM_CLOSE, 0, 0);
            return !IsWindow(m_dialog);
        }, 5000);
    }

private:
    HWND m_dialog;
    HWND m_list;
};

AutoTypeInfo info(const std::string& notes) { return AutoTypeInfo{notes, "{USERNAME}{TAB}{PASSWORD}~"}; }

const std::map<std::string, AutoTypeInfo>& matches() {
    static const std::map<std::string, AutoTypeInfo> m{{"beta", info("b notes")},
                                                       {"Alpha", info("first line\rsecond line\r")},
                                                       {"alpha", info("")},
                                                       {"Gamma", info("g1\r\ng2\rg3\r")},
                                                       {"delta", info("d\r")}};
    return m;
}

int run(const char* name, CEntriesMatched& dialog, const std::function<void(User&)>& play) {
    std::printf("-- %s\n", name);
    std::fflush(stdout);
    std::thread user([&] {
        HWND found = waitForChooser();
        if (!check(found != nullptr, std::string(name) + ": the dialog opens")) return;
        User u(found);
        play(u);
        if (!check(waitUntil([&] { return !IsWindow(found); }, 5000), std::string(name) + ": the dialog ended")) {
            u.giveUp();
        }
    });
    int result = dialog.DoModal();
    user.join();
    return result;
}

// What the tool tip should measure for a text: as wide as its longest line
// plus 7 pixels, lines times the line height plus 2 pixels high.
SIZE expectedSize(const std::string& text) {
    HDC dc = GetDC(nullptr);
    HFONT font = CreateFontA(15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    std::vector<std::string> lines = platform::win32::CToolTip2::lines(text);
    int widest = 0;
    for (const std::string& line : lines) {
        if (line.empty()) continue;
        widest = std::max(widest, static_cast<int>(LOWORD(GetTabbedTextExtentA(
                                      dc, line.c_str(), static_cast<int>(line.size()), 0, nullptr))));
    }
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    return SIZE{widest + 7, static_cast<int>(lines.size()) * tm.tmHeight + 2};
}

// Waits for the tool tip to show this text; when no hover came by itself,
// records that and sends one, so that the checks after it still run.
HWND waitForToolTip(User& u, POINT inList, const std::string& text, const std::string& when, bool byItself) {
    HWND tip = nullptr;
    bool came = waitUntil([&] { return (tip = visibleToolTip()) != nullptr && textOf(tip) == text; }, 3000);
    if (byItself) check(came, when + ": the tool tip comes by itself when the mouse rests");
    if (!came) {
        PostMessageA(u.list(), WM_MOUSEHOVER, 0, MAKELPARAM(inList.x, inList.y));
        came = waitUntil([&] { return (tip = visibleToolTip()) != nullptr && textOf(tip) == text; }, 3000);
    }
    check(came, when + ": the tool tip shows \"" + visible(text) + "\" (shows \"" +
                    visible(tip != nullptr ? textOf(tip) : std::string("(none)")) + "\")");
    return came ? tip : nullptr;
}

void checkPlace(HWND tip, POINT cursor, const std::string& text, const std::string& when) {
    RECT r{};
    GetWindowRect(tip, &r);
    check(r.left == cursor.x + 11 && r.top == cursor.y - 4,
          when + ": the tool tip stands 11 pixels right of and 4 above the cursor (at " + std::to_string(r.left) +
              "," + std::to_string(r.top) + ", cursor " + std::to_string(cursor.x) + "," +
              std::to_string(cursor.y) + ")");
    SIZE want = expectedSize(text);
    check(r.right - r.left == want.cx && r.bottom - r.top == want.cy,
          when + ": the tool tip measures " + std::to_string(want.cx) + "x" + std::to_string(want.cy) + " (is " +
              std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top) + ")");
}

}  // namespace

int main() {
    startWatchdog(120000);

    {
        CEntriesMatched dialog(matches());
        int r = run("sorted list, picked with LB_SETCURSEL and OK", dialog, [&](User& u) {
            std::vector<std::string> items = u.items();
            std::vector<std::string> lowered;
            for (const std::string& s : items) lowered.push_back(lower(s));
            check(lowered == std::vector<std::string>{"alpha", "alpha", "beta", "delta", "gamma"},
                  "the list holds the titles sorted without regard to case");
            check(std::count(items.begin(), items.end(), "Alpha") == 1 &&
                      std::count(items.begin(), items.end(), "alpha") == 1,
                  "two titles differing in case only are two items");
            check(u.selected() == 0, "the first item is selected");
            bool tipsFollow = !items.empty();
            for (int i = 0; i < static_cast<int>(items.size()); ++i) {
                std::string want = CEntriesMatched::toolTipText(matches().at(items[i]).notesText);
                if (u.itemToolTip(i) != want) {
                    tipsFollow = false;
                    std::printf("   item %d \"%s\": tool tip \"%s\"\n", i, items[i].c_str(),
                                visible(u.itemToolTip(i)).c_str());
                }
            }
            check(tipsFollow, "each item's data holds its own entry's tool-tip text after sorting");
            check(u.itemToolTip(u.indexOf("Gamma")) == "Notes:\n\ng1\ng2\ng3", "the notes' CR line ends are lines");
            check(u.itemToolTip(u.indexOf("alpha")) == "Notes:\n\n", "empty notes give the heading and an empty line");
            check(GetWindowLongA(u.list(), GWL_STYLE) & LBS_SORT, "the list box sorts");
            SendMessageA(u.list(), LB_SETCURSEL, static_cast<WPARAM>(u.indexOf("delta")), 0);
            u.click(IDOK);
        });
        check(r == IDOK, "OK ends the dialog with IDOK");
        check(dialog.m_selectedTitle == "delta", "OK hands back the selected title (got \"" + dialog.m_selectedTitle + "\")");
    }

    {
        CEntriesMatched dialog(matches());
        int r = run("LB_SELECTSTRING, then a double click on another item", dialog, [&](User& u) {
            LRESULT at = SendMessageA(u.list(), LB_SELECTSTRING, static_cast<WPARAM>(-1),
                                      reinterpret_cast<LPARAM>("Gamma"));
            check(at >= 0 && u.itemText(static_cast<int>(at)) == "Gamma", "LB_SELECTSTRING selects Gamma");
            Sleep(100);
            check(IsWindow(u.dialog()), "selecting an item leaves the dialog open");
            u.doubleClick(u.itemMiddle(u.indexOf("beta")));
        });
        check(r == IDOK, "a double click ends the dialog with IDOK");
        check(dialog.m_selectedTitle == "beta",
              "a double click hands back the item clicked (got \"" + dialog.m_selectedTitle + "\")");
    }

    {
        CEntriesMatched dialog(matches());
        int r = run("LB_SELECTSTRING and OK", dialog, [&](User& u) {
            SendMessageA(u.list(), LB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("alpha"));
            u.click(IDOK);
        });
        check(r == IDOK && (dialog.m_selectedTitle == "Alpha" || dialog.m_selectedTitle == "alpha"),
              "LB_SELECTSTRING picks one of the two alphas (got \"" + dialog.m_selectedTitle + "\")");
    }

    {
        CEntriesMatched dialog(matches());
        int r = run("nothing selected, OK", dialog, [&](User& u) {
            SendMessageA(u.list(), LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
            check(u.selected() < 0, "nothing is selected");
            u.click(IDOK);
        });
        check(r == IDOK, "OK without a selection ends with IDOK");
        check(dialog.m_selectedTitle.empty(), "OK without a selection hands back an empty title");
    }

    {
        CEntriesMatched dialog(matches());
        int r = run("cancel", dialog, [&](User& u) {
            SendMessageA(u.list(), LB_SETCURSEL, 2, 0);
            u.click(IDCANCEL);
        });
        check(r == IDCANCEL, "Cancel ends the dialog with IDCANCEL");
        check(dialog.m_selectedTitle.empty(), "Cancel hands back no title");
    }

    {
        CEntriesMatched dialog(matches());
        HWND tipSeen = nullptr;
        HWND dialogSeen = nullptr;
        int r = run("tool tips", dialog, [&](User& u) {
            dialogSeen = u.dialog();
            check(visibleToolTip() == nullptr, "no tool tip is shown before the mouse comes");
            const int gamma = u.indexOf("Gamma");
            POINT p = u.itemMiddle(gamma);
            POINT cursor = u.moveTo(p);
            const std::string gammaTip = "Notes:\n\ng1\ng2\ng3";
            HWND tip = waitForToolTip(u, p, gammaTip, "over Gamma", true);
            if (tip == nullptr) {
                u.click(IDCANCEL);
                return;
            }
            tipSeen = tip;
            checkPlace(tip, cursor, gammaTip, "over Gamma");
            LONG_PTR ex = GetWindowLongPtrA(tip, GWL_EXSTYLE);
            check((ex & WS_EX_TOOLWINDOW) != 0 && (ex & WS_EX_TOPMOST) != 0, "the tool tip is a topmost tool window");
            check((GetWindowLongPtrA(tip, GWL_STYLE) & WS_POPUP) != 0, "the tool tip is a pop-up");
            check(GetWindow(tip, GW_OWNER) == u.dialog(), "the tool tip belongs to the dialog of its list");
            GUITHREADINFO gui{};
            gui.cbSize = sizeof gui;
            GetGUIThreadInfo(GetWindowThreadProcessId(u.dialog(), nullptr), &gui);
            check(gui.hwndActive != tip, "the tool tip does not take the activation");

            // Moving on while it is shown: the item under the mouse at once.
            const int alpha = u.indexOf("alpha");
            p = u.itemMiddle(alpha);
            cursor = u.moveTo(p);
            tip = waitForToolTip(u, p, "Notes:\n\n", "over alpha", false);
            if (tip != nullptr) checkPlace(tip, cursor, "Notes:\n\n", "over alpha (empty notes: two lines)");

            // Below the last item: no item, no tool tip.
            RECT client{};
            GetClientRect(u.list(), &client);
            RECT last = u.itemRect(static_cast<int>(u.items().size()) - 1);
            if (check(last.bottom + 6 < client.bottom, "the list has room below its last item")) {
                p = POINT{(client.left + client.right) / 2, last.bottom + 4};
                u.moveTo(p);
                PostMessageA(u.list(), WM_MOUSEHOVER, 0, MAKELPARAM(p.x, p.y));
                check(waitUntil([] { return visibleToolTip() == nullptr; }, 3000),
                      "below the last item the tool tip goes away");
            }

            // Back over an item, then the mouse leaves the dialog.
            p = u.itemMiddle(gamma);
            u.moveTo(p);
            waitForToolTip(u, p, gammaTip, "over Gamma again", true);
            RECT dialogRect{};
            GetWindowRect(u.dialog(), &dialogRect);
            SetCursorPos(dialogRect.right + 150, dialogRect.bottom + 150);
            bool gone = waitUntil([] { return visibleToolTip() == nullptr; }, 3000);
            check(gone, "the tool tip goes away by itself when the mouse leaves the list");
            if (!gone) {
                PostMessageA(u.list(), WM_MOUSELEAVE, 0, 0);
                check(waitUntil([] { return visibleToolTip() == nullptr; }, 3000),
                      "the tool tip goes away when the list hears the mouse left");
            }
            check(tipSeen != nullptr && textOf(tipSeen).empty(), "a hidden tool tip holds no text");
            u.click(IDCANCEL);
        });
        check(r == IDCANCEL, "the tool-tip run ends with Cancel");
        check(tipSeen == nullptr || !IsWindow(tipSeen), "the tool tip window is gone with the dialog");
        check(dialogSeen == nullptr || !IsWindow(dialogSeen), "the dialog is gone");
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        check(GetClassInfoExA(GetModuleHandleA(nullptr), kToolTip2Class, &wc) == FALSE,
              "the tool tip's window class is unregistered when the dialog has ended");
    }

    {
        // A second chooser after the first: the class is registered again.
        CEntriesMatched dialog(matches());
        int r = run("a second chooser shows tool tips too", dialog, [&](User& u) {
            POINT p = u.itemMiddle(u.indexOf("delta"));
            u.moveTo(p);
            waitForToolTip(u, p, "Notes:\n\nd", "over delta", false);
            u.doubleClick(p);
        });
        check(r == IDOK && dialog.m_selectedTitle == "delta", "the double click on delta picks it");
    }

    std::printf("%d passed, %d failed\n", g_passed.load(), g_failed.load());
    std::fflush(stdout);
    return g_failed.load() == 0 ? 0 : 1;
}
