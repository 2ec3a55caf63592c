/* Mendalix.dll, the wireless printer library: the calls an application makes.
 *
 * Load it by name ("Mendalix.dll") or link its import library: a 32-bit process the 32-bit
 * library, a 64-bit process the 64-bit one (x64\Mendalix.dll), which has the same exports,
 * ordinals and behaviour. Every call returns a 32-bit signed result and runs one at a time:
 * a call made while another runs waits for it.
 * The port argument is a text "COM1" to "COM4" (the digit at index 3 counts, so "COM1:" is
 * COM1); the second argument is a printer address, "NONE", or a monitor command. Both are
 * NUL-terminated 8-bit texts, or both point to automation VARIANTs holding a BSTR (decided
 * on the port argument's type field being VT_BSTR; the VARIANT of the caller's bitness, 16
 * bytes in a 32-bit process and 24 in a 64-bit one, the BSTR at offset 8 in both). Texts
 * longer than 255 characters are cut to 255; a VARIANT or BSTR that runs into memory the
 * process cannot read is taken only as far as it can be read. */
#ifndef MENDALIX_H
#define MENDALIX_H

/* 32-bit Windows: stdcall, the import libraries' names decorated (_BT_OnQuery@8). 64-bit
 * Windows has one calling convention and no decoration. */
#if defined(_WIN32) && !defined(_WIN64)
#define MENDALIX_API __stdcall
#else
#define MENDALIX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Ordinals of the exports (5 to 9 are not used). */
#define MENDALIX_ORDINAL_BT_ONQUERY   1
#define MENDALIX_ORDINAL_BT_ONCONNECT 2
#define MENDALIX_ORDINAL_BT_ONMONITOR 3
#define MENDALIX_ORDINAL_BT_ONRESET   4
#define MENDALIX_ORDINAL_BT_LONG      10

/* Result of BT_OnQuery, BT_OnConnect and BT_OnReset: 0, or a combination of these link
 * status flags from the driver (any other non-zero word is an unlisted failure). */
#define MENDALIX_LINK_OK                    0x000 /* success / connected */
#define MENDALIX_LINK_NO_DRIVER             0x002 /* the port has no control device: no driver installed
                                                     (also a port text naming no port COM1-COM4) */
#define MENDALIX_LINK_DISCONNECTED          0x004 /* disconnected */
#define MENDALIX_LINK_HOST_DONGLE_FAILED    0x010 /* the terminal's dongle failed, or the driver
                                                     did not answer (dongle pulled out, driver
                                                     stopped); the next call after it is back
                                                     finds it again */
#define MENDALIX_LINK_PRINTER_CONN_FAILED   0x020 /* connection to the printer's dongle failed */
#define MENDALIX_LINK_ANSWER_BACK_FAILED    0x040 /* the printer did not answer back */
#define MENDALIX_LINK_MAINBOARD_UNSUPPORTED 0x100 /* main board not supported */

/* The link state the driver publishes for each port, a REG_DWORD named by
 * MENDALIX_REG_CONNECT_STATE (printf format, port number 1-4) under MENDALIX_REG_KEY:
 * 0 connected, 255 no state yet, any other value the link status flags of why the link is
 * down (0x4 dropped on purpose). */
#define MENDALIX_LINK_STATE_CONNECTED 0
#define MENDALIX_LINK_STATE_NONE      255

/* The driver's registry key, under HKEY_LOCAL_MACHINE, and the values an application may
 * read there. MENDALIX_REG_INI_PATH (REG_SZ) holds "\??\" and the full path of the settings
 * file into which the driver writes what a query finds; the setup program writes it at every
 * start, the installer at install. MENDALIX_REG_PLAY_SOUND (REG_DWORD) is the setup
 * program's sound switch. */
#define MENDALIX_REG_KEY           "System\\CurrentControlSet\\Services\\Sarnovek\\Parameters"
#define MENDALIX_REG_INI_PATH      "BTiniPath"
#define MENDALIX_REG_CONNECT_STATE "COM%dConnectState"
#define MENDALIX_REG_PLAY_SOUND    "PlaySound"

/* Asks the port's terminal dongle for the printers in range; the driver writes them into
 * the port's block of Quorvex.ini. text is usually "NONE". */
int MENDALIX_API BT_OnQuery(const void* port, const void* text);
/* Connects the port to the printer address (after 300 ms; once more 300 ms later when the
 * first attempt fails). The text "NULL" makes exactly one attempt. */
int MENDALIX_API BT_OnConnect(const void* port, const void* address);
/* A command containing "MON_ON" starts link monitoring, any other stops it, whatever the
 * port's device. Returns 2 for a port without a control device, 0x10 for one whose device
 * went away, otherwise non-zero when the driver took the command and 0 when it did not.
 * While monitoring runs the library stays loaded, FreeLibrary or not, until it is stopped. */
int MENDALIX_API BT_OnMonitor(const void* port, const void* command);
/* Resets the port's link. */
int MENDALIX_API BT_OnReset(const void* port, const void* text);
/* Returns 3, whatever value points to. */
int MENDALIX_API BT_long(int* value);

typedef int(MENDALIX_API* BT_OnQuery_t)(const void*, const void*);
typedef int(MENDALIX_API* BT_OnConnect_t)(const void*, const void*);
typedef int(MENDALIX_API* BT_OnMonitor_t)(const void*, const void*);
typedef int(MENDALIX_API* BT_OnReset_t)(const void*, const void*);
typedef int(MENDALIX_API* BT_long_t)(int*);

#ifndef _WIN32
/* Host build only: serve the library's devices from deviceApi (a platform::DeviceApi*)
 * instead of the host's none. Takes effect when called before the first call; returns 1
 * then, 0 when too late. The same is reached without code by setting MENDALIX_DEVICES to a
 * shared object that exports "void* MendalixDeviceApi(void)". */
int MendalixHostUseDevices(void* deviceApi);
#endif

#ifdef __cplusplus
}
#endif

#endif
