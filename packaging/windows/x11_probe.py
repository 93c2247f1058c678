#!/usr/bin/env python3
"""Top-level windows, clicks and keys on an X display, for checking the
Windows build under Wine and Xvfb (scripts/test-windows.sh). XTest is reached
through ctypes, so nothing beyond libX11 and libXtst is needed.

  x11_probe.py windows             mapped top-level windows: id x y width height
  x11_probe.py wait W H SECONDS    waits for a mapped top-level window of W x H
                                   pixels and prints "id x y"; exit 1 on timeout
  x11_probe.py gone W H SECONDS    waits until no such window is mapped
  x11_probe.py click X Y           clicks the left button at X, Y of the screen
  x11_probe.py key KEYSYM          presses and releases a key (Return, Escape, F3)
"""
import ctypes
import sys
import time

x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
xtst = ctypes.cdll.LoadLibrary("libXtst.so.6")

Window = ctypes.c_ulong


class XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", Window), ("class_", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int),
                ("backing_planes", ctypes.c_ulong), ("backing_pixel", ctypes.c_ulong),
                ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


IS_VIEWABLE = 2
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = Window
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XQueryTree.argtypes = [ctypes.c_void_p, Window, ctypes.POINTER(Window), ctypes.POINTER(Window),
                           ctypes.POINTER(ctypes.POINTER(Window)), ctypes.POINTER(ctypes.c_uint)]
x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, Window, ctypes.POINTER(XWindowAttributes)]
x11.XFree.argtypes = [ctypes.c_void_p]
x11.XStringToKeysym.restype = ctypes.c_ulong
x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
x11.XKeysymToKeycode.restype = ctypes.c_ubyte
x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]
xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]


# A window may go between XQueryTree and XGetWindowAttributes (a page of an
# installer, a dialog closing): Xlib's default handler would end the probe for
# that BadWindow. XGetWindowAttributes then returns 0 and the window is passed over.
XErrorHandler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
ignore_errors = XErrorHandler(lambda display, event: 0)
x11.XSetErrorHandler.argtypes = [XErrorHandler]
x11.XSetErrorHandler.restype = ctypes.c_void_p


def open_display():
    display = x11.XOpenDisplay(None)
    if not display:
        sys.exit("x11_probe: cannot open the display")
    x11.XSetErrorHandler(ignore_errors)
    return display


def top_level_windows(display):
    """(id, x, y, width, height) of every mapped child of the root window."""
    root, parent = Window(), Window()
    children = ctypes.POINTER(Window)()
    count = ctypes.c_uint()
    x11.XQueryTree(display, x11.XDefaultRootWindow(display), ctypes.byref(root), ctypes.byref(parent),
                   ctypes.byref(children), ctypes.byref(count))
    found = []
    for i in range(count.value):
        attributes = XWindowAttributes()
        if x11.XGetWindowAttributes(display, children[i], ctypes.byref(attributes)) and \
                attributes.map_state == IS_VIEWABLE:
            found.append((children[i], attributes.x, attributes.y, attributes.width, attributes.height))
    if children:
        x11.XFree(children)
    return found


def wait_for(display, width, height, seconds, present):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        matches = [w for w in top_level_windows(display) if w[3] == width and w[4] == height]
        if present and matches:
            print("%d %d %d" % matches[0][:3])
            return 0
        if not present and not matches:
            return 0
        time.sleep(0.05)
    return 1


def click(display, x, y):
    xtst.XTestFakeMotionEvent(display, -1, x, y, 0)
    x11.XSync(display, 0)
    time.sleep(0.1)
    xtst.XTestFakeButtonEvent(display, 1, 1, 0)
    xtst.XTestFakeButtonEvent(display, 1, 0, 50)
    x11.XSync(display, 0)


def key(display, name):
    code = x11.XKeysymToKeycode(display, x11.XStringToKeysym(name.encode()))
    if not code:
        sys.exit("x11_probe: no key " + name)
    xtst.XTestFakeKeyEvent(display, code, 1, 0)
    xtst.XTestFakeKeyEvent(display, code, 0, 50)
    x11.XSync(display, 0)


def main(arguments):
    display = open_display()
    command = arguments[0] if arguments else ""
    if command == "windows":
        for window in top_level_windows(display):
            print("%d %d %d %d %d" % window)
        return 0
    if command in ("wait", "gone") and len(arguments) == 4:
        return wait_for(display, int(arguments[1]), int(arguments[2]), float(arguments[3]), command == "wait")
    if command == "click" and len(arguments) == 3:
        click(display, int(arguments[1]), int(arguments[2]))
        return 0
    if command == "key" and len(arguments) == 2:
        key(display, arguments[1])
        return 0
    sys.exit(__doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
