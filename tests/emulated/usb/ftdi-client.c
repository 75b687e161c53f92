/* A small libftdi client that checks the emulated FT232R on its own, before pmc10 uses it:
 * opens the device that a libftdi device string names, puts it in async bit-bang mode with
 * outputs D0-D3, writes the bytes given, reads the pins back, and closes it.
 *
 * Usage: ftdi-client DEVICE-STRING BYTE...     e.g. ftdi-client i:0x0403:0x6001 0xff 0xf3
 * Prints "pins 0x.." after each byte, as the chip reports them.
 */
#include <ftdi.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s DEVICE-STRING BYTE...\n", argv[0]);
        return 2;
    }
    struct ftdi_context* ftdi = ftdi_new();
    if (!ftdi) return 1;
    ftdi->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
    int status = 1;
    if (ftdi_usb_open_string(ftdi, argv[1]) < 0) {
        fprintf(stderr, "open: %s\n", ftdi_get_error_string(ftdi));
        goto out;
    }
    if (ftdi_set_bitmode(ftdi, 0x0F, BITMODE_BITBANG) < 0) {
        fprintf(stderr, "bitmode: %s\n", ftdi_get_error_string(ftdi));
        goto close;
    }
    status = 0;
    for (int i = 2; i < argc; i++) {
        unsigned char byte = (unsigned char)strtoul(argv[i], NULL, 0), pins = 0;
        if (ftdi_write_data(ftdi, &byte, 1) != 1 || ftdi_read_pins(ftdi, &pins) < 0) {
            fprintf(stderr, "write: %s\n", ftdi_get_error_string(ftdi));
            status = 1;
            break;
        }
        printf("pins 0x%02x\n", pins);
    }
close:
    ftdi_usb_close(ftdi);
out:
    ftdi_free(ftdi);
    return status;
}
