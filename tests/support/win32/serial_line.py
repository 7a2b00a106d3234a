#!/usr/bin/env python3
"""Makes a serial line for Windows tests run under Wine.

Started by the Windows test program (Wine runs Linux programs too) with the
loopback port it listens on. Opens a pseudo-terminal in raw mode, maps a free
COM port of the Wine prefix onto it, reports the port's number on the
connection and relays bytes between the connection and the pseudo-terminal's
master side until the test closes the connection.
"""
import os
import pty
import select
import socket
import sys
import tty

master, slave = pty.openpty()
# Raw before Wine opens the port: otherwise IXON stalls the line on XON/XOFF bytes.
tty.setraw(slave)
devices = os.path.join(os.environ.get("WINEPREFIX") or os.path.expanduser("~/.wine"), "dosdevices")
for number in range(20, 256):
    link = os.path.join(devices, f"com{number}")
    if os.path.islink(link) and not os.path.exists(link):
        os.unlink(link)  # left by a run that was killed
    try:
        os.symlink(os.ttyname(slave), link)
        break
    except FileExistsError:
        continue
else:
    sys.exit("no free COM port")

try:
    connection = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
    connection.sendall(f"{number}\n".encode())
    while True:
        ready, _, _ = select.select([master, connection], [], [])
        if connection in ready:
            data = connection.recv(65536)
            if not data:
                break
            while data:
                data = data[os.write(master, data):]
        if master in ready:
            connection.sendall(os.read(master, 65536))
finally:
    os.unlink(link)
