"""The calls of Mendalix.dll for Windows Python, through ctypes.

A 64-bit Python loads the 64-bit library (x64\\Mendalix.dll of the install folder), a 32-bit
one Mendalix.dll; load() chooses by the size of a pointer. Every call returns 0 for success
or link status flags (the LINK_ constants).

    python mendalix.py COM1 0080372A0011    query, connect, print a few lines, drop the link
                                            (from the install folder)
"""
import ctypes
import os
import struct
import sys

LINK_OK = 0x000
LINK_NO_DRIVER = 0x002  # the port has no control device
LINK_DISCONNECTED = 0x004
LINK_HOST_DONGLE_FAILED = 0x010
LINK_PRINTER_CONN_FAILED = 0x020
LINK_ANSWER_BACK_FAILED = 0x040
LINK_MAINBOARD_UNSUPPORTED = 0x100
LINK_STATE_NONE = 255  # a published link state: nothing known yet

# The driver's key under HKEY_LOCAL_MACHINE: BTiniPath names the settings file a query writes
# its findings into; COM1ConnectState to COM4ConnectState hold the link states.
REGISTRY_KEY = r"System\CurrentControlSet\Services\Sarnovek\Parameters"
INI_PATH_VALUE = "BTiniPath"
CONNECT_STATE_VALUE = "COM{}ConnectState"


def load(folder="."):
    """The library of this Python's bitness from folder (the install folder), with its five
    calls typed (stdcall, so WinDLL; 8-bit texts as bytes)."""
    if struct.calcsize("P") == 8:
        path = os.path.join(folder, "x64", "Mendalix.dll")
    else:
        path = os.path.join(folder, "Mendalix.dll")
    lib = ctypes.WinDLL(os.path.abspath(path))
    for name in ("BT_OnQuery", "BT_OnConnect", "BT_OnMonitor", "BT_OnReset"):
        call = getattr(lib, name)
        call.argtypes = (ctypes.c_char_p, ctypes.c_char_p)
        call.restype = ctypes.c_int
    lib.BT_long.argtypes = (ctypes.POINTER(ctypes.c_int),)
    lib.BT_long.restype = ctypes.c_int
    return lib


def main(port, printer):
    lib = load()
    r = lib.BT_OnQuery(port.encode(), b"NONE")
    print("BT_OnQuery(%s) = 0x%X" % (port, r))
    if r != LINK_OK:
        return 1
    r = lib.BT_OnConnect(port.encode(), printer.encode())
    print("BT_OnConnect(%s, %s) = 0x%X" % (port, printer, r))
    if r != LINK_OK:
        return 1
    # The port has one opener at a time: open it to print, close it straight after.
    with open("\\\\.\\" + port, "wb", buffering=0) as serial:
        serial.write(b"Thank you for shopping with us\r\nTotal 2.50\r\n\r\n\r\n")
    r = lib.BT_OnConnect(port.encode(), b"NULL")
    print("BT_OnConnect(%s, NULL) = 0x%X" % (port, r))
    return 0 if r == LINK_DISCONNECTED else 1


if __name__ == "__main__":
    if len(sys.argv) != 3:
        print("usage: python mendalix.py COM1 PRINTER-ADDRESS")
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2]))
