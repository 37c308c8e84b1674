#!/usr/bin/env python3
"""Real key events for the X tests, from one client that stays connected: a lock pressed by a
client that then goes away may not outlive it, and every key goes through the same connection in
order. Reads commands from standard input, one a line, and answers each with "ok" once the server
has it (or "error ..."):

    down KEYSYM | up KEYSYM | key KEYSYM...   press, release, or tap each in turn, 12 ms apart
    caps                                      "caps on" or "caps off": the server's Caps Lock
    close WINDOW                              asks the window to close, as a window manager does

KEYSYM is an X keysym name (Left, Caps_Lock, Alt_R, Hangul, h...). A keysym the keyboard lacks is
put on a free key first, as xdotool does. Needs only libX11 and libXtst."""
import ctypes
import ctypes.util
import sys
import time

x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XStringToKeysym.restype = ctypes.c_ulong
x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
x11.XKeysymToKeycode.restype = ctypes.c_ubyte
x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x11.XDisplayKeycodes.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                 ctypes.POINTER(ctypes.c_int)]
x11.XGetKeyboardMapping.restype = ctypes.POINTER(ctypes.c_ulong)
x11.XGetKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_ubyte, ctypes.c_int,
                                    ctypes.POINTER(ctypes.c_int)]
x11.XChangeKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                       ctypes.POINTER(ctypes.c_ulong), ctypes.c_int]
x11.XFree.argtypes = [ctypes.c_void_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XQueryPointer.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + \
    [ctypes.POINTER(ctypes.c_ulong)] * 2 + [ctypes.POINTER(ctypes.c_int)] * 4 + \
    [ctypes.POINTER(ctypes.c_uint)]
xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                           ctypes.c_void_p]


class ClientMessage(ctypes.Structure):  # XClientMessageEvent, padded to an XEvent
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 24)]


CLIENT_MESSAGE = 33

LOCK_MASK = 1 << 1

display = x11.XOpenDisplay(None)
if not display:
    sys.exit("xkeys: cannot open the display")


def free_keycode():
    low, high = ctypes.c_int(), ctypes.c_int()
    x11.XDisplayKeycodes(display, ctypes.byref(low), ctypes.byref(high))
    per = ctypes.c_int()
    count = high.value - low.value + 1
    table = x11.XGetKeyboardMapping(display, low.value, count, ctypes.byref(per))
    try:
        for i in range(count - 1, -1, -1):
            if all(table[i * per.value + j] == 0 for j in range(per.value)):
                return low.value + i
    finally:
        x11.XFree(table)
    return 0


def keycode(name):
    sym = x11.XStringToKeysym(name.encode())
    if not sym:
        raise ValueError(f"no keysym {name}")
    code = x11.XKeysymToKeycode(display, sym)
    if not code:
        code = free_keycode()
        if not code:
            raise ValueError(f"no free key for {name}")
        syms = (ctypes.c_ulong * 1)(sym)
        x11.XChangeKeyboardMapping(display, code, 1, syms, 1)
        x11.XSync(display, 0)
    return code


def caps():
    root, child = ctypes.c_ulong(), ctypes.c_ulong()
    ints = [ctypes.c_int() for _ in range(4)]
    mask = ctypes.c_uint()
    x11.XQueryPointer(display, x11.XDefaultRootWindow(display), ctypes.byref(root),
                      ctypes.byref(child), *[ctypes.byref(i) for i in ints], ctypes.byref(mask))
    return "caps on" if mask.value & LOCK_MASK else "caps off"


def run(words):
    verb, names = words[0], words[1:]
    if verb == "caps":
        return caps()
    if verb == "close":
        event = ClientMessage(type=CLIENT_MESSAGE, window=int(names[0], 0), format=32,
                              message_type=x11.XInternAtom(display, b"WM_PROTOCOLS", 0))
        event.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
        x11.XSendEvent(display, event.window, 0, 0, ctypes.byref(event))
        x11.XSync(display, 0)
        return "ok"
    if verb not in ("down", "up", "key"):
        raise ValueError(f"unknown command {verb}")
    for name in names:
        code = keycode(name)
        for press in (True, False):
            if verb == ("up" if press else "down"):
                continue
            # As far apart as a quick typist's: SDL takes a release and a press of the same key
            # within 2 ms for the keyboard's own repeat.
            time.sleep(0.012)
            xtst.XTestFakeKeyEvent(display, code, press, 0)
            x11.XSync(display, 0)
    return "ok"


for line in sys.stdin:
    words = line.split()
    if not words:
        continue
    try:
        print(run(words), flush=True)
    except ValueError as e:
        print(f"error {e}", flush=True)
