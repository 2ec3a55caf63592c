/* What a receipt printer understands on its serial line, as btctl speaks it and the driver
 * simulator's printers answer it: the ESC/POS commands of a test receipt, the real-time
 * status request and its status bytes, the printer information request and the print
 * confirmation (the process ID response). Plain C, so that the kernel-mode simulator can
 * include it. */
#ifndef PROTOCOL_ESCPOS_H
#define PROTOCOL_ESCPOS_H

#define ESCPOS_LF  0x0Au
#define ESCPOS_DLE 0x10u
#define ESCPOS_EOT 0x04u
#define ESCPOS_ESC 0x1Bu
#define ESCPOS_GS  0x1Du

/* ESC @: initialise. ESC d n: print and feed n lines. ESC a n: justify (0 left, 1 centre).
 * ESC E n: bold on/off. GS V m [n]: cut (m 0/1 full/partial; 65/66 feed n then cut). */
#define ESCPOS_INIT_BYTE    0x40u /* '@' */
#define ESCPOS_FEED_BYTE    0x64u /* 'd' */
#define ESCPOS_ALIGN_BYTE   0x61u /* 'a' */
#define ESCPOS_BOLD_BYTE    0x45u /* 'E' */
#define ESCPOS_CUT_BYTE     0x56u /* 'V' */

/* DLE EOT n: real-time status, answered at once with one status byte, even while the
 * printer is stopped. */
#define ESCPOS_STATUS_PRINTER 1u  /* n = 1 */
#define ESCPOS_STATUS_OFFLINE 2u  /* n = 2: why it is offline */
#define ESCPOS_STATUS_PAPER   4u  /* n = 4: the roll paper sensors */

/* Every status byte has bits 1 and 4 set and bits 0 and 7 clear: that is how an answer is
 * told from other bytes on the line. */
#define ESCPOS_STATUS_FIXED 0x12u
#define ESCPOS_STATUS_MASK  0x93u
#define ESCPOS_IS_STATUS(b) ((((unsigned)(b)) & ESCPOS_STATUS_MASK) == ESCPOS_STATUS_FIXED)

#define ESCPOS_PRINTER_OFFLINE   0x08u /* n = 1, bit 3 */
#define ESCPOS_OFFLINE_COVER     0x04u /* n = 2, bit 2: cover open */
#define ESCPOS_OFFLINE_PAPER_END 0x20u /* n = 2, bit 5: stopped by paper end */
#define ESCPOS_OFFLINE_ERROR     0x40u /* n = 2, bit 6: an error occurred */
#define ESCPOS_PAPER_NEAR_END    0x0Cu /* n = 4, bits 2-3 */
#define ESCPOS_PAPER_OUT         0x60u /* n = 4, bits 5-6 */

/* GS I n: printer information. Answered 0x5F, the text, 0x00 by a printer that has it;
 * silence otherwise. */
#define ESCPOS_INFO_BYTE     0x49u /* 'I' */
#define ESCPOS_INFO_FIRMWARE 65u
#define ESCPOS_INFO_MAKER    66u
#define ESCPOS_INFO_MODEL    67u
#define ESCPOS_INFO_HEADER   0x5Fu
#define ESCPOS_INFO_TEXT_MAX 31u   /* longest information text a printer gives */

/* GS ( H pL pH fn m d1 d2 d3 d4 with pL = 6, pH = 0, fn = 48, m = 48: the print
 * confirmation request. Once everything sent before it is printed, the printer answers
 * 37 22 d1 d2 d3 d4 00. */
#define ESCPOS_PAREN_BYTE       0x28u /* '(' */
#define ESCPOS_PROCESS_ID_BYTE  0x48u /* 'H' */
#define ESCPOS_PROCESS_ID_FN    0x30u
#define ESCPOS_PROCESS_ID_SIZE  11u   /* the whole request */
#define ESCPOS_PROCESS_ID_ANSWER_0 0x37u
#define ESCPOS_PROCESS_ID_ANSWER_1 0x22u
#define ESCPOS_PROCESS_ID_ANSWER_SIZE 7u

#endif
