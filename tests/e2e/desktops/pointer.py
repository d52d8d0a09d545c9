#!/usr/bin/env python3
"""A pointer for a wlroots compositor, through the virtual pointer protocol
(zwlr_virtual_pointer_v1): a headless compositor has no input device, so
nothing else can point at its windows.

  pointer.py WIDTH HEIGHT

reads commands, one a line, and answers each with "ok" on file descriptor 3
once the compositor has handled it:

  move X Y
  click X Y

WIDTH and HEIGHT are the size of the output layout; the Wayland socket is
$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY. The one pointer lives as long as this
program: the seat gains a pointer when it starts, and clients bind theirs
only then, so a pointer made afresh for each click would click before they
listen.
"""
import os
import socket
import struct
import sys
import time

BTN_LEFT = 0x110


class Connection:
    def __init__(self):
        path = os.path.join(os.environ["XDG_RUNTIME_DIR"], os.environ.get("WAYLAND_DISPLAY", "wayland-0"))
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(path)
        self.next_id = 2
        self.buffer = b""

    def new_id(self):
        self.next_id += 1
        return self.next_id - 1

    def send(self, obj, opcode, payload=b""):
        self.sock.sendall(struct.pack("<II", obj, (8 + len(payload)) << 16 | opcode) + payload)

    def events(self):
        """Yields (object, opcode, payload) for each event received."""
        while True:
            while len(self.buffer) < 8 or len(self.buffer) < struct.unpack_from("<I", self.buffer, 4)[0] >> 16:
                chunk = self.sock.recv(65536)
                if not chunk:
                    sys.exit("the compositor closed the connection")
                self.buffer += chunk
            obj, word = struct.unpack_from("<II", self.buffer)
            size = word >> 16
            payload, self.buffer = self.buffer[8:size], self.buffer[size:]
            yield obj, word & 0xFFFF, payload

    def roundtrip(self, on_event=lambda *event: None):
        callback = self.new_id()
        self.send(1, 0, struct.pack("<I", callback))  # wl_display.sync
        for obj, opcode, payload in self.events():
            if obj == 1 and opcode == 0:  # wl_display.error
                sys.exit(f"protocol error: {payload!r}")
            if obj == callback and opcode == 0:
                return
            on_event(obj, opcode, payload)


def string(value):
    data = value.encode() + b"\0"
    return struct.pack("<I", len(data)) + data + b"\0" * (-len(data) % 4)


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    width, height = int(argv[1]), int(argv[2])
    wl = Connection()
    registry = wl.new_id()
    wl.send(1, 1, struct.pack("<I", registry))  # wl_display.get_registry
    globals_ = {}

    def on_global(obj, opcode, payload):
        if obj == registry and opcode == 0:
            name, length = struct.unpack_from("<II", payload)
            interface = payload[8:8 + length - 1].decode()
            globals_[interface] = name

    wl.roundtrip(on_global)
    for needed in ("wl_seat", "zwlr_virtual_pointer_manager_v1"):
        if needed not in globals_:
            sys.exit(f"the compositor offers no {needed}")

    def bind(interface):
        obj = wl.new_id()
        wl.send(registry, 0, struct.pack("<I", globals_[interface]) + string(interface) + struct.pack("<II", 1, obj))
        return obj

    seat = bind("wl_seat")
    manager = bind("zwlr_virtual_pointer_manager_v1")
    pointer = wl.new_id()
    wl.send(manager, 0, struct.pack("<II", seat, pointer))  # create_virtual_pointer

    def stamp():
        return int(time.monotonic() * 1000) & 0xFFFFFFFF

    wl.roundtrip()
    answers = os.fdopen(3, "w")
    print("ok", file=answers, flush=True)
    for line in sys.stdin:
        action, x, y = line.split()
        wl.send(pointer, 1, struct.pack("<IIIII", stamp(), int(x), int(y), width, height))  # motion_absolute
        wl.send(pointer, 4)  # frame
        # The pointer enters the window under it before the button goes down.
        wl.roundtrip()
        if action == "click":
            for state in (1, 0):
                wl.send(pointer, 2, struct.pack("<III", stamp(), BTN_LEFT, state))  # button
                wl.send(pointer, 4)
            wl.roundtrip()
        print("ok", file=answers, flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
