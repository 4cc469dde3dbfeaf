/* A stand-in for a browser's login form, for the auto-type checks: one
 * top-level window with a title, whose whole area is a focused text field.
 * Every key pressed in it is appended to a file as the text it produces (Tab
 * as a tab, Return as a line feed), and shown in the window.
 *
 *   keyhold_dc_typing_window OUTFILE TITLE
 *       Shows the window and records until it is closed or killed. Writes
 *       "ready" to standard output once the window is mapped and focused.
 *   keyhold_dc_typing_window --grabbed
 *       Status 0 when another client holds a passive grab of Ctrl+Shift+Q on
 *       the root window (a global hot key is registered), 1 when not.
 *   keyhold_dc_typing_window --close WINDOW
 *       Asks the window manager to close the window (its close button:
 *       _NET_CLOSE_WINDOW), as a person closing a program does.
 *   keyhold_dc_typing_window --clipboard
 *       Prints the text of the CLIPBOARD selection; status 1 when there is
 *       none within two seconds.
 */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int grabRefused;

static int onError(Display* d, XErrorEvent* e) {
    (void)d;
    if (e->error_code == BadAccess) grabRefused = 1;
    return 0;
}

static int probeGrab(Display* d) {
    KeyCode q = XKeysymToKeycode(d, XK_q);
    Window root = DefaultRootWindow(d);
    unsigned int mods = ControlMask | ShiftMask;
    XSetErrorHandler(onError);
    XGrabKey(d, q, mods, root, False, GrabModeAsync, GrabModeAsync);
    XSync(d, False);
    if (!grabRefused) XUngrabKey(d, q, mods, root);
    XSync(d, False);
    return grabRefused ? 0 : 1;
}

static int printClipboard(Display* d) {
    Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    Atom clipboard = XInternAtom(d, "CLIPBOARD", False);
    Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    Atom prop = XInternAtom(d, "KEYHOLD_DC_CLIPBOARD", False);
    XConvertSelection(d, clipboard, utf8, prop, w, CurrentTime);
    XFlush(d);
    struct pollfd p = {ConnectionNumber(d), POLLIN, 0};
    for (int waited = 0; waited < 2000;) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type != SelectionNotify) continue;
            if (e.xselection.property == None) return 1;
            Atom type;
            int format;
            unsigned long n, left;
            unsigned char* data = NULL;
            if (XGetWindowProperty(d, w, prop, 0, 1 << 20, True, AnyPropertyType, &type, &format, &n, &left,
                                   &data) != Success || !data) {
                return 1;
            }
            fwrite(data, 1, n, stdout);
            XFree(data);
            return 0;
        }
        poll(&p, 1, 100);
        waited += 100;
    }
    return 1;
}

static int closeWindow(Display* d, Window w) {
    XEvent e = {0};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(d, "_NET_CLOSE_WINDOW", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = CurrentTime;
    e.xclient.data.l[1] = 2; /* from a pager or other direct user action */
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XSync(d, False);
    return 0;
}

int main(int argc, char** argv) {
    Display* d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "no X display\n");
        return 2;
    }
    if (argc == 2 && strcmp(argv[1], "--grabbed") == 0) return probeGrab(d);
    if (argc == 2 && strcmp(argv[1], "--clipboard") == 0) return printClipboard(d);
    if (argc == 3 && strcmp(argv[1], "--close") == 0) return closeWindow(d, (Window)strtoul(argv[2], NULL, 0));
    if (argc != 3) {
        fprintf(stderr, "usage: keyhold_dc_typing_window OUTFILE TITLE | --grabbed | --clipboard | --close WINDOW\n");
        return 2;
    }
    FILE* out = fopen(argv[1], "ab");
    if (!out) {
        perror(argv[1]);
        return 2;
    }
    const char* title = argv[2];
    int screen = DefaultScreen(d);
    Window w = XCreateSimpleWindow(d, RootWindow(d, screen), 100, 100, 640, 200, 1, BlackPixel(d, screen),
                                   WhitePixel(d, screen));
    XStoreName(d, w, title);
    Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
                    (const unsigned char*)title, (int)strlen(title));
    Atom del = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, w, &del, 1);
    XWMHints hints = {0};
    hints.flags = InputHint;
    hints.input = True;
    XSetWMHints(d, w, &hints);
    XSelectInput(d, w, KeyPressMask | ExposureMask | FocusChangeMask | StructureNotifyMask);
    XMapRaised(d, w);

    char shown[4096] = "";
    size_t used = 0;
    int ready = 0;
    for (;;) {
        XEvent e;
        XNextEvent(d, &e);
        if (e.type == MapNotify) {
            XSetInputFocus(d, w, RevertToParent, CurrentTime);
        } else if (e.type == FocusIn && !ready) {
            ready = 1;
            printf("ready\n");
            fflush(stdout);
        } else if (e.type == KeyPress) {
            char buf[32];
            KeySym sym;
            int n = XLookupString(&e.xkey, buf, sizeof buf, &sym, NULL);
            if (sym == XK_Tab || sym == XK_ISO_Left_Tab) {
                buf[0] = '\t';
                n = 1;
            } else if (sym == XK_Return || sym == XK_KP_Enter) {
                buf[0] = '\n';
                n = 1;
            }
            if (n > 0) {
                fwrite(buf, 1, (size_t)n, out);
                fflush(out);
                for (int i = 0; i < n && used + 1 < sizeof shown; ++i) {
                    shown[used++] = buf[i] == '\t' || buf[i] == '\n' ? ' ' : buf[i];
                }
                shown[used] = 0;
                XClearArea(d, w, 0, 0, 0, 0, True);
            }
        } else if (e.type == Expose && e.xexpose.count == 0) {
            GC gc = DefaultGC(d, screen);
            XDrawString(d, w, gc, 10, 20, "Typed:", 6);
            XDrawString(d, w, gc, 10, 40, shown, (int)used);
        } else if (e.type == ClientMessage && (Atom)e.xclient.data.l[0] == del) {
            break;
        }
    }
    fclose(out);
    XCloseDisplay(d);
    return 0;
}
