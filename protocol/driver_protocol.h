/* The printer-dongle driver's protocol: its control requests, device names and registry
 * key, shared by the library, the driver simulator, the setup program, btctl and the tests.
 * Plain C so that the kernel-mode simulator can include it. */
#ifndef PROTOCOL_DRIVER_PROTOCOL_H
#define PROTOCOL_DRIVER_PROTOCOL_H

#include "protocol/link_status.h"

/* CTL_CODE(device type 0x1001, function, METHOD_BUFFERED, FILE_ANY_ACCESS) */
#define SARNO_DEVICE_TYPE 0x1001u
#define SARNO_CTL_CODE(fn) ((SARNO_DEVICE_TYPE << 16) | ((fn) << 2))

#define IOCTL_SARNO_PCON         SARNO_CTL_CODE(0x850u) /* 0x10012140 connect: in address text, out result word */
#define IOCTL_SARNO_RESET        SARNO_CTL_CODE(0x852u) /* 0x10012148 reset: in command text, out result word */
#define IOCTL_SARNO_PINQ         SARNO_CTL_CODE(0x854u) /* 0x10012150 printer inquiry: out result word */
#define IOCTL_SARNO_GET_COM_INDX SARNO_CTL_CODE(0x856u) /* 0x10012158 in/out 4 bytes: 0-based COM index */
#define IOCTL_SARNO_STOP_MONITOR SARNO_CTL_CODE(0x870u) /* 0x100121C0 completes a pending read */
#define IOCTL_SARNO_MONITOR      SARNO_CTL_CODE(0x87Au) /* 0x100121E8 monitor command text, echoed */

/* Control device names: the prefix followed by one digit 0-3. */
#define SARNO_DEVICE_PREFIX "\\\\.\\Sarno"
#define SARNO_DEVICE_COUNT 4

/* The driver's registry key (under HKEY_LOCAL_MACHINE) and its values. */
#define SARNO_PARAMETERS_KEY "System\\CurrentControlSet\\Services\\Sarnovek\\Parameters"
#define SARNO_INI_PATH_VALUE "BTiniPath"              /* REG_SZ: "\??\" + the settings file's path */
#define SARNO_CONNECT_STATE_VALUE "COM%dConnectState" /* REG_DWORD per port 1-4: its link state */
#define SARNO_PLAY_SOUND_VALUE "PlaySound"             /* REG_DWORD: the setup program's sounds */

#endif
