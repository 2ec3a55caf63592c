/* An image without an import table, which the XP check must refuse rather than pass unread. */
void NoImportsEntry(void) {}
