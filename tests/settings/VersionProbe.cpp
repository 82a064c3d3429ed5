// Started by the printer query tests under a chosen Windows version: exits with 1 when it finds a default
// printer, 0 when not.
#include "settings/PrinterQuery.h"

int main() {
    return PrinterQuery().defaultPrinterName().empty() ? 0 : 1;
}
