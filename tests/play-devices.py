#!/usr/bin/env python3
"""Plays the devices behind a guest's ttyS1 (a 16550) and ttyUSB0 (an FTDI adapter), and pulls
the adapter's plug, as the tests inside the guest ask:
    play-devices.py SHARE GUEST-RUNNER [OPTION...] -- COMMAND...
runs GUEST-RUNNER --share SHARE, the devices, OPTION... -- COMMAND... in SHARE and exits with
its status. The guest appends requests to SHARE/commands, one a line; each is done when
SHARE/done holds its number. DEVICE.rx holds what DEVICE received since it was last given its
part, and trace.log QEMU's trace of both device models.
    DEVICE echo | read       read and answer with the same bytes, or only read
    ttyS1 pace BYTES         read at BYTES a second
    ttyS1 stop [MS]          stop reading, for MS milliseconds or until told otherwise
    DEVICE settle            done once DEVICE has read nothing for 300 ms
    ttyUSB0 stream           send 64 bytes every 10 ms until unplugged
    ttyUSB0 unplug-on-data   pull the plug as the first bytes arrive
    unplug | plug            pull the adapter out, or plug it back in, over QMP
The adapter's end is always read: QEMU writes to it blocking, and a full socket would freeze
the whole guest."""
import json
import os
import re
import select
import signal
import socket
import subprocess
import sys
import time

share, runner, rest = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), sys.argv[3:]
os.makedirs(share, exist_ok=True)
os.chdir(share)  # socket paths stay short however deep the share lies
sockets = ("ttyS1.sock", "ttyUSB0.sock", "qmp.sock")
for stale in ("commands", "done", "done.new", "trace.log", "ttyS1.rx", "ttyUSB0.rx") + sockets:
    if os.path.lexists(stale):
        os.remove(stale)
ftdi = "usb-serial,id=ftdi,chardev=ftdi,bus=xhci.0,always-plugged=true"
devices = ["-chardev", "socket,id=uart,path=ttyS1.sock",
           "-device", "isa-serial,index=1,chardev=uart",
           "-device", "qemu-xhci,id=xhci",
           "-chardev", "socket,id=ftdi,path=ttyUSB0.sock", "-device", ftdi,
           "-chardev", "socket,id=qmp,path=qmp.sock", "-mon", "chardev=qmp,mode=control",
           "-D", "trace.log", "-msg", "timestamp=on",
           "-trace", "serial_*", "-trace", "usb_serial_set_*"]
listening = {}
for name in ("ttyS1", "ttyUSB0", "qmp"):
    listening[name] = socket.socket(socket.AF_UNIX)
    listening[name].bind(name + ".sock")
    listening[name].listen(1)


class Device:
    def __init__(self, name):
        self.name, self.mode, self.rate, self.until, self.out = name, "echo", 0, 0.0, b""
        self.stream = self.unplug_on_data = False
        self.start = self.last = time.monotonic()
        self.got = 0
        self.rx = open(name + ".rx", "wb", buffering=0)

    def part(self, mode, number):
        self.rx.truncate(0)
        self.rx.seek(0)
        self.mode, self.out, self.stream, self.unplug_on_data = mode, b"", False, False
        self.start, self.got = time.monotonic(), 0
        self.rate = number if mode == "pace" else 0
        self.until = self.start + number / 1000 if mode == "stop" and number else 0.0

    def reading(self, now):
        if self.mode == "stop" and self.until and now >= self.until:
            self.mode = "read"
        if self.mode == "pace":  # no credit saved up while idle
            self.start = max(self.start, now - (self.got + 16) / self.rate)
            return int((now - self.start) * self.rate) - self.got
        return 0 if self.mode == "stop" else 65536

    def receive(self, size):
        data = self.socket.recv(size)
        if not data:
            return False  # the guest is going
        self.rx.write(data)
        self.got += len(data)
        self.last = time.monotonic()
        if self.mode == "echo":
            self.out += data
        if self.unplug_on_data:
            self.unplug_on_data = False
            plug(False)
        return True


def qmp_send(command, **arguments):
    channel.sendall(json.dumps({"execute": command, "arguments": arguments}).encode() + b"\n")


def plug(present):
    global removed
    adapter.out, adapter.stream = b"", False
    if present:
        qmp_send("device_add", driver="usb-serial", id="ftdi", chardev="ftdi", bus="xhci.0",
                 **{"always-plugged": True})
    else:
        removed = False
        qmp_send("device_del", id="ftdi")


def handle(line):
    """Starts what the line asks; returns when it is done."""
    words = line.split()
    if words[0] in ("unplug", "plug"):
        plug(words[0] == "plug")
        counted = answers + 1
        return (lambda: removed) if words[0] == "unplug" else (lambda: answers >= counted)
    device = by_name[words[0]]
    if words[1] == "settle":
        return lambda: device.mode != "stop" and time.monotonic() - device.last > 0.3
    if words[1] == "stream":
        device.stream = True
    elif words[1] == "unplug-on-data":
        device.unplug_on_data = True
    else:
        device.part(words[1], int(words[2]) if len(words) > 2 else 0)
    return lambda: True


def speed_before_the_chosen_one():
    """How long each line ran at its old speed once the framing chosen in the tests was set."""
    chosen = (("ttyS1", "parity='E' data=7 stop=2", "baudrate=38400 "),
              ("ttyUSB0", "parity O, data bits 8, stop bits 1", "baud rate 19200"))
    framed, lasted = {}, {}
    for line in open("trace.log", errors="replace"):
        traced = re.match(r"\d+@([\d.]+):(.*)", line)
        for name, framing, speed in chosen if traced else ():
            if framing in traced[2]:
                framed.setdefault(name, float(traced[1]))
            if speed in traced[2] and name in framed:
                lasted.setdefault(name, f"{(float(traced[1]) - framed[name]) * 1000:.2f} ms")
    return ", ".join(f"{name} {ms}" for name, ms in lasted.items())


signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
guest = subprocess.Popen([runner, "--share", share] + devices + rest, start_new_session=True)
try:
    connected = {}
    while len(connected) < 3 and guest.poll() is None:
        for ready in select.select(list(listening.values()), [], [], 0.1)[0]:
            name = next(name for name, s in listening.items() if s is ready)
            connected[name] = ready.accept()[0]
    if len(connected) < 3:
        sys.exit(guest.wait())
    uart, adapter = Device("ttyS1"), Device("ttyUSB0")
    by_name = {"ttyS1": uart, "ttyUSB0": adapter}
    for device in by_name.values():
        device.socket = connected[device.name]
        device.socket.setblocking(False)
    channel, answers, removed, qmp_input = connected["qmp"], 0, False, b""
    qmp_send("qmp_capabilities")
    done, pending, stream_next = 0, None, 0.0
    going = False
    while not going and guest.poll() is None:
        now = time.monotonic()
        wanted = [d.socket for d in by_name.values() if d.reading(now) > 0] + [channel]
        writable = [d.socket for d in by_name.values() if d.out]
        readable, ready, _ = select.select(wanted, writable, [], 0.005)
        if channel in readable:
            qmp_input += channel.recv(65536)
            *messages, qmp_input = qmp_input.split(b"\n")
            for message in map(json.loads, filter(None, messages)):
                if "error" in message:
                    raise SystemExit(f"play-devices: QMP: {message['error']}")
                answers += "return" in message
                removed |= message.get("data", {}).get("device") == "ftdi"
        for device in by_name.values():
            if device.socket in readable:
                going |= not device.receive(min(device.reading(now), 65536))
            if device.socket in ready:
                device.out = device.out[device.socket.send(device.out):]
        if adapter.stream and now >= stream_next:
            stream_next = now + 0.01
            try:
                adapter.socket.send(bytes(range(64)))
            except BlockingIOError:
                pass
        if pending is None and os.path.exists("commands"):
            with open("commands", "rb") as asked:
                lines = asked.read().split(b"\n")[:-1]
            if len(lines) > done:
                pending = handle(lines[done].decode())
        if pending is not None and pending():
            done, pending = done + 1, None
            with open("done.new", "w") as note:
                note.write(str(done))
            os.rename("done.new", "done")
    status = guest.wait()
    lasted = speed_before_the_chosen_one()
    if lasted:
        print(f"play-devices: the speed before the chosen one lasted {lasted}")
    sys.exit(status)
finally:
    if guest.poll() is None:
        os.killpg(guest.pid, signal.SIGTERM)
        try:
            guest.wait(5)
        except subprocess.TimeoutExpired:
            os.killpg(guest.pid, signal.SIGKILL)
            guest.wait()
