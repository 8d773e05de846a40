#!/usr/bin/env python3
"""Times programs from their start to the first window they map on DISPLAY.

usage: first_map.py ROUNDS NAME=PROGRAM[,ARG...] NAME=PROGRAM[,ARG...]

Runs the programs in alternating rounds and prints, for each, the median of the
milliseconds from fork to the X server's MapNotify of a new top-level window (GTK
maps a window once its first frame is laid out and ready to draw), then the ratio of
the second to the first. Each program is ended (SIGTERM) once its window is mapped."""
import ctypes
import os
import statistics
import subprocess
import sys
import time

x11 = ctypes.CDLL("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
x11.XPending.argtypes = [ctypes.c_void_p]
x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
x11.XConnectionNumber.argtypes = [ctypes.c_void_p]
MAP_NOTIFY, SUBSTRUCTURE_NOTIFY_MASK = 19, 1 << 19


def time_to_map(display, command):
    fd = x11.XConnectionNumber(display)
    event = ctypes.create_string_buffer(192)
    while x11.XPending(display):
        x11.XNextEvent(display, event)
    start = time.monotonic()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = start + 30
        while time.monotonic() < deadline:
            import select
            select.select([fd], [], [], 0.05)
            while x11.XPending(display):
                x11.XNextEvent(display, event)
                if ctypes.c_int.from_buffer(event).value == MAP_NOTIFY:
                    return (time.monotonic() - start) * 1000
        raise SystemExit(f"{command[0]}: no window within 30 s")
    finally:
        process.terminate()
        process.wait(10)


def main():
    rounds = int(sys.argv[1])
    programs = [(a.split("=", 1)[0], a.split("=", 1)[1].split(",")) for a in sys.argv[2:4]]
    display = x11.XOpenDisplay(None)
    x11.XSelectInput(display, x11.XDefaultRootWindow(display), SUBSTRUCTURE_NOTIFY_MASK)
    times = {name: [] for name, _ in programs}
    for _ in range(rounds):
        for name, command in programs:
            times[name].append(time_to_map(display, command))
    medians = [statistics.median(times[name]) for name, _ in programs]
    for (name, _), median in zip(programs, medians):
        print(f"  {name}: median {median:.1f} ms of {rounds} ({', '.join(f'{t:.0f}' for t in times[name])})")
    print(f"  ratio {programs[1][0]} / {programs[0][0]}: {medians[1] / medians[0]:.3f}")


if __name__ == "__main__":
    main()
