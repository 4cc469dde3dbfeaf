// A plain X11 program for the desktop tests: one window with the title it is
// given (UTF-8 in _NET_WM_NAME, and WM_NAME), that appends every character
// its key presses give to a file, as a common Xlib program reads them
// (XLookupString, with the keyboard map re-read on every MappingNotify).
// Keys without a character are written as <keysym name>; modifier keys are
// not written. With KH_RECORDER_DELAY_MS set it is slow: it handles each key
// press and map change that many milliseconds late, as a busy program would.
// The window has one child window (a field).
// Usage: recorder TITLE OUTPUT-FILE
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <xkbcommon/xkbcommon.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: recorder TITLE OUTPUT-FILE\n");
        return 2;
    }
    const std::string title = argv[1];
    const char* output = argv[2];
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "recorder: no display\n");
        return 1;
    }
    const int screen = DefaultScreen(display);
    Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 10, 10, 400, 120, 1,
                                        BlackPixel(display, screen), WhitePixel(display, screen));
    XStoreName(display, window, "recorder");  // WM_NAME (ASCII; _NET_WM_NAME carries the real title)
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False),
                    XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title.data()), static_cast<int>(title.size()));
    XClassHint hint;
    char instance[] = "keyhold-recorder", klass[] = "KeyholdRecorder";
    hint.res_name = instance;
    hint.res_class = klass;
    XSetClassHint(display, window, &hint);
    XWMHints wmHints{};
    wmHints.flags = InputHint;
    wmHints.input = True;
    XSetWMHints(display, window, &wmHints);
    XSelectInput(display, window, KeyPressMask | StructureNotifyMask | FocusChangeMask);
    // A child window, as a program's text field would be, that the focus
    // may be given to.
    Window field = XCreateSimpleWindow(display, window, 20, 20, 200, 40, 1, BlackPixel(display, screen),
                                       WhitePixel(display, screen));
    XSelectInput(display, field, KeyPressMask);
    XMapWindow(display, field);
    XMapWindow(display, window);
    XFlush(display);
    const char* delayText = std::getenv("KH_RECORDER_DELAY_MS");
    const auto delay = std::chrono::milliseconds(delayText != nullptr ? std::atoi(delayText) : 0);

    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MappingNotify || event.type == KeyPress) std::this_thread::sleep_for(delay);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            continue;
        }
        if (event.type != KeyPress) continue;
        char buffer[32];
        KeySym sym = NoSymbol;
        XLookupString(&event.xkey, buffer, sizeof buffer, &sym, nullptr);
        if (sym == NoSymbol || IsModifierKey(sym)) continue;
        std::string text;
        const std::uint32_t cp = xkb_keysym_to_utf32(static_cast<xkb_keysym_t>(sym));
        if (cp >= 0x20 && cp != 0x7F) {
            char utf8[8];
            const int n = xkb_keysym_to_utf8(static_cast<xkb_keysym_t>(sym), utf8, sizeof utf8);
            if (n > 1) text.assign(utf8, static_cast<std::size_t>(n - 1));
        } else {
            char name[64];
            xkb_keysym_get_name(static_cast<xkb_keysym_t>(sym), name, sizeof name);
            text = std::string("<") + name + ">";
        }
        if (FILE* f = std::fopen(output, "ab")) {
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
        }
    }
}
