#!/usr/bin/env python3
"""Shares a memory block between the library and code that does not use it.

The library makes a named block through ctypes; the other side opens the same
block only by the name mapping that corvane/system.h documents (a POSIX
shared-memory object under /dev/shm, the block's bytes at offset 1088) and
answers in it.

    python3 shared_memory.py [path/to/libcorvane.so]
"""
import ctypes
import mmap
import os
import struct
import sys

RECORD_SIZE = 1088  # the library's record in front of the block's bytes


def escaped(name):
    """The object name of a block: '!'..'~' stand for themselves but for '/'
    and '%', every other byte is %XX."""
    if name.startswith("Local\\"):
        name = name[len("Local\\"):]
    out = []
    for byte in name.encode():
        char = chr(byte)
        out.append(char if 0x21 <= byte <= 0x7E and char not in "/%" else "%%%02X" % byte)
    return "corvane.shm." + "".join(out)


def main():
    library = ctypes.CDLL(sys.argv[1] if len(sys.argv) > 1 else "libcorvane.so.0")
    library.os_sharememory_create.restype = ctypes.c_void_p
    library.os_sharememory_create.argtypes = [ctypes.c_char_p, ctypes.c_uint32]
    library.os_sharememory_get_buffer.restype = ctypes.c_void_p
    library.os_sharememory_get_buffer.argtypes = [ctypes.c_void_p]
    library.os_sharememory_destroy.argtypes = [ctypes.POINTER(ctypes.c_void_p)]

    name = "Local\\python example %d" % os.getpid()
    block = ctypes.c_void_p(library.os_sharememory_create(name.encode(), 4096))
    if not block:
        sys.exit("the library could not make the block")
    buffer = library.os_sharememory_get_buffer(block)
    ctypes.memmove(buffer, b"written by the library\0", 23)

    # The other side: no library, only the documented name and layout.
    with open("/dev/shm/" + escaped(name), "r+b") as shared:
        view = mmap.mmap(shared.fileno(), 0)
        (size,) = struct.unpack_from("=Q", view, 16)
        text = view[RECORD_SIZE:RECORD_SIZE + size].split(b"\0")[0].decode()
        print("python read: %r (block of %d bytes)" % (text, size))
        view[RECORD_SIZE + 100:RECORD_SIZE + 118] = b"written by python\0"
        view.close()

    answer = ctypes.string_at(buffer + 100).decode()
    print("library read: %r" % answer)
    library.os_sharememory_destroy(ctypes.byref(block))
    if text != "written by the library" or answer != "written by python" or size != 4096:
        sys.exit("the two sides did not see the same bytes")


if __name__ == "__main__":
    main()
