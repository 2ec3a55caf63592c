/* The link status words the driver answers and publishes per port, and the published
 * state's "no state". Mendalix.h, which ships alone, gives the same words its own
 * MENDALIX_LINK_* names; the library checks at build time that the two agree. Plain C. */
#ifndef PROTOCOL_LINK_STATUS_H
#define PROTOCOL_LINK_STATUS_H

/* Link status flags: 0 = success / connected. */
#define LINK_OK                   0x000u
#define LINK_NO_DRIVER            0x002u
#define LINK_DISCONNECTED         0x004u
#define LINK_HOST_DONGLE_FAILED   0x010u
#define LINK_PRINTER_CONN_FAILED  0x020u
#define LINK_ANSWER_BACK_FAILED   0x040u
#define LINK_MAINBOARD_UNSUPPORTED 0x100u
#define LINK_STATE_NONE           255u   /* published connection state: no state */

#endif
