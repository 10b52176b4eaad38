#!/usr/bin/env python3
"""Measures how fast a program's window thread answers, from outside: sends the window manager's
_NET_WM_PING to the window every 50 ms for --seconds and waits for each answer, which the program
gives from its event loop. Prints "pings=N worst_ms=M" and exits 1 when an answer took longer than
--limit-ms (or never came)."""
import argparse
import sys
import time

from Xlib import X, display, protocol


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--window", type=lambda s: int(s, 0), required=True)
    ap.add_argument("--seconds", type=float, default=2.0)
    ap.add_argument("--limit-ms", type=float, default=200.0)
    args = ap.parse_args()

    d = display.Display()
    root = d.screen().root
    root.change_attributes(event_mask=X.StructureNotifyMask | X.SubstructureNotifyMask)
    wm_protocols = d.intern_atom("WM_PROTOCOLS")
    ping = d.intern_atom("_NET_WM_PING")
    win = d.create_resource_object("window", args.window)

    worst = 0.0
    count = 0
    end = time.monotonic() + args.seconds
    stamp = 1
    while time.monotonic() < end:
        stamp += 1
        ev = protocol.event.ClientMessage(window=win, client_type=wm_protocols,
                                          data=(32, [ping, stamp, args.window, 0, 0]))
        sent = time.monotonic()
        win.send_event(ev, event_mask=X.NoEventMask)
        d.flush()
        answered = False
        while time.monotonic() - sent < 5.0:
            while d.pending_events():
                e = d.next_event()
                if (e.type == X.ClientMessage and e.client_type == wm_protocols
                        and e.data[1][0] == ping and e.data[1][1] == stamp):
                    answered = True
                    break
            if answered:
                break
            time.sleep(0.002)
        took = (time.monotonic() - sent) * 1000.0
        worst = max(worst, took if answered else 5000.0)
        count += 1
        time.sleep(0.05)
    print("pings=%d worst_ms=%.0f" % (count, worst))
    return 0 if worst <= args.limit_ms else 1


if __name__ == "__main__":
    sys.exit(main())
