/* An FT232R USB UART as seen from the USB host, made from a FunctionFS function on the
 * gadget side of dummy_hcd: one vendor-class interface with bulk IN 0x81 and bulk OUT 0x02
 * (64-byte packets, full speed) and FTDI's vendor control requests on endpoint 0.
 *
 * It logs every control request (name, value, index) and every byte received on bulk OUT,
 * one line each, stamped with CLOCK_MONOTONIC in microseconds at its arrival:
 *
 *   <us> ctrl <name> value=0x<vvvv> index=0x<iiii> length=<n>
 *   <us> out 0x<byte> mode=<uart|bitbang|...> mask=0x<mm> pins=0x<pp>
 *   <us> pins 0x<pp> <cause>          whenever the modelled level of D0-D7 changes
 *   <us> event <bind|unbind|enable|disable|suspend|resume>
 *
 * The pins are modelled as an FT232R drives them: in UART mode TXD (D0) idles high, RTS#
 * (D2) and DTR# (D4) are the inverted modem-control states, inputs read high; in a bit-bang
 * mode each pin in the output mask carries the bit of the last byte written (the output
 * latch keeps the last byte whatever the mask) and every other pin reads as pulled up (1).
 * Serial data received in UART mode is logged with mode=uart: its start bit drives TXD low.
 *
 * Bulk IN always answers with the two modem-status bytes (0x01 0x60), so a host read never
 * hangs.
 *
 * A test can act the moment a key code reaches the pins: while the file TRIGGER-FILE holds
 * "N SIGNAL PID" or "N stall MS", the N-th key code (a byte other than 0xff in bit-bang
 * mode) counted from when the file appeared removes the file and either sends SIGNAL to
 * PID, logged as "<us> signal <SIGNAL> <PID>", or makes the chip stop taking bytes for MS
 * milliseconds (bulk OUT is not read, so the host's transfers wait), logged as
 * "<us> stall <MS>" and "<us> resume".
 *
 * Usage: ft232r-gadget FUNCTIONFS-DIR LOG-FILE [TRIGGER-FILE]
 * The FunctionFS instance must be mounted on FUNCTIONFS-DIR; bind the gadget to a UDC once
 * this program has written its descriptors (FUNCTIONFS-DIR/ep1 exists). Build statically:
 *   cc -O2 -static -pthread -o ft232r-gadget ft232r-gadget.c
 */
#define _GNU_SOURCE
#include <endian.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

enum {
    REQ_RESET = 0x00,
    REQ_MODEM_CTRL = 0x01,
    REQ_SET_FLOW_CTRL = 0x02,
    REQ_SET_BAUDRATE = 0x03,
    REQ_SET_DATA = 0x04,
    REQ_POLL_MODEM_STATUS = 0x05,
    REQ_SET_EVENT_CHAR = 0x06,
    REQ_SET_ERROR_CHAR = 0x07,
    REQ_SET_LATENCY_TIMER = 0x09,
    REQ_GET_LATENCY_TIMER = 0x0A,
    REQ_SET_BITMODE = 0x0B,
    REQ_READ_PINS = 0x0C,
    REQ_READ_EEPROM = 0x90,
    REQ_WRITE_EEPROM = 0x91,
    REQ_ERASE_EEPROM = 0x92,
};

static const char* request_name(uint8_t request) {
    switch (request) {
        case REQ_RESET:
            return "reset";
        case REQ_MODEM_CTRL:
            return "modem_ctrl";
        case REQ_SET_FLOW_CTRL:
            return "set_flow_ctrl";
        case REQ_SET_BAUDRATE:
            return "set_baudrate";
        case REQ_SET_DATA:
            return "set_data";
        case REQ_POLL_MODEM_STATUS:
            return "poll_modem_status";
        case REQ_SET_EVENT_CHAR:
            return "set_event_char";
        case REQ_SET_ERROR_CHAR:
            return "set_error_char";
        case REQ_SET_LATENCY_TIMER:
            return "set_latency_timer";
        case REQ_GET_LATENCY_TIMER:
            return "get_latency_timer";
        case REQ_SET_BITMODE:
            return "set_bitmode";
        case REQ_READ_PINS:
            return "read_pins";
        case REQ_READ_EEPROM:
            return "read_eeprom";
        case REQ_WRITE_EEPROM:
            return "write_eeprom";
        case REQ_ERASE_EEPROM:
            return "erase_eeprom";
        default:
            return "unknown";
    }
}

/* ---- the log ---------------------------------------------------------------------------- */

static int log_fd = -1;
static pthread_mutex_t state_lock = PTHREAD_MUTEX_INITIALIZER;

static long long now_us(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000 + ts.tv_nsec / 1000;
}

/* One line, written with one write() so lines from the threads never mix. */
static void log_line(long long us, const char* format, ...) {
    char line[256];
    int n = snprintf(line, sizeof line, "%lld ", us);
    va_list args;
    va_start(args, format);
    n += vsnprintf(line + n, sizeof line - (size_t)n - 1, format, args);
    va_end(args);
    if (n > (int)sizeof line - 2) n = (int)sizeof line - 2;
    line[n++] = '\n';
    if (write(log_fd, line, (size_t)n) < 0) { /* nothing better to do */
    }
}

/* ---- the chip's state ------------------------------------------------------------------- */

static uint8_t bit_mode;            /* 0 = UART; otherwise FTDI's mode (1 = async bit-bang) */
static uint8_t output_mask;         /* bit-bang: which of D0-D7 are outputs */
static uint8_t output_latch = 0x00; /* the last byte written, in any mode */
static int rts_asserted, dtr_asserted;
static uint8_t latency_timer = 16;
static uint8_t pins = 0xFF;
static uint16_t eeprom[64];

static const char* mode_name(void) {
    switch (bit_mode) {
        case 0x00:
            return "uart";
        case 0x01:
            return "bitbang";
        case 0x04:
            return "syncbb";
        case 0x20:
            return "cbus";
        default:
            return "other";
    }
}

static uint8_t model_pins(void) {
    if (bit_mode == 0x00) {
        /* TXD idle high, RXD and CTS# inputs, RTS# and DTR# outputs, the rest inputs. */
        uint8_t level = 0xFF;
        if (rts_asserted) level &= (uint8_t)~0x04;
        if (dtr_asserted) level &= (uint8_t)~0x10;
        return level;
    }
    return (uint8_t)((output_latch & output_mask) | (uint8_t)~output_mask);
}

/* Call with state_lock held. */
static void update_pins(long long us, const char* cause) {
    const uint8_t level = model_pins();
    if (level != pins) {
        pins = level;
        log_line(us, "pins 0x%02x %s", pins, cause);
    }
}

static void make_eeprom(void) {
    /* An FT232R's internal EEPROM, as FTDI ships it: IDs, bus-powered at 90 mA, CBUS pins
     * on their default functions, and the checksum in the last word. */
    memset(eeprom, 0, sizeof eeprom);
    eeprom[0x00] = 0x0000;
    eeprom[0x01] = 0x0403;
    eeprom[0x02] = 0x6001;
    eeprom[0x03] = 0x0600;
    eeprom[0x04] = 0x2DA0;
    eeprom[0x05] = 0x0000;
    eeprom[0x0A] = 0x3210; /* CBUS0..3: TXLED, RXLED, TXDEN, PWREN */
    eeprom[0x0B] = 0x0005; /* CBUS4: SLEEP */
    uint16_t checksum = 0xAAAA;
    for (int i = 0; i < 63; i++) {
        checksum ^= eeprom[i];
        checksum = (uint16_t)((checksum << 1) | (checksum >> 15));
    }
    eeprom[63] = checksum;
}

/* ---- the trigger ---------------------------------------------------------------------- */

static const char* trigger_path;
static int trigger_count; /* key codes seen since the trigger file appeared */
static int stall_ms;      /* set by a trigger: bulk OUT waits this long before reading on */

/* Call with state_lock held, for each byte that reaches the pins. */
static void check_trigger(uint8_t byte) {
    if (!trigger_path) return;
    FILE* file = fopen(trigger_path, "r");
    if (!file) {
        trigger_count = 0;
        return;
    }
    int wanted = 0, argument = 0;
    char action[16] = "";
    const int fields = fscanf(file, "%d %15s %d", &wanted, action, &argument);
    fclose(file);
    if (fields != 3 || bit_mode == 0 || byte == 0xFF || ++trigger_count < wanted) return;
    unlink(trigger_path);
    trigger_count = 0;
    if (strcmp(action, "stall") == 0) {
        stall_ms = argument;
        log_line(now_us(), "stall %d", argument);
    } else if (argument > 0 && kill(argument, atoi(action)) == 0) {
        log_line(now_us(), "signal %s %d", action, argument);
    }
}

/* ---- descriptors ------------------------------------------------------------------------ */

/* Written little-endian, as the x86 guest is. */
#if __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the descriptors are laid out for a little-endian machine"
#endif
#define LE(x) (x)

static const struct {
    struct usb_functionfs_descs_head_v2 header;
    __le32 fs_count;
    struct {
        struct usb_interface_descriptor intf;
        struct usb_endpoint_descriptor_no_audio in;
        struct usb_endpoint_descriptor_no_audio out;
    } __attribute__((packed)) fs;
} __attribute__((packed)) descriptors = {
    .header =
        {
            .magic = LE(FUNCTIONFS_DESCRIPTORS_MAGIC_V2),
            .flags = LE(FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_ALL_CTRL_RECIP),
            .length = LE(sizeof descriptors),
        },
    .fs_count = LE(3),
    .fs =
        {
            .intf =
                {
                    .bLength = sizeof descriptors.fs.intf,
                    .bDescriptorType = USB_DT_INTERFACE,
                    .bNumEndpoints = 2,
                    .bInterfaceClass = USB_CLASS_VENDOR_SPEC,
                    .bInterfaceSubClass = 0xFF,
                    .bInterfaceProtocol = 0xFF,
                    .iInterface = 1,
                },
            /* dummy_hcd's first bulk endpoints are ep1in and ep2out, so the host sees the
             * FT232R's own addresses 0x81 and 0x02. */
            .in =
                {
                    .bLength = sizeof descriptors.fs.in,
                    .bDescriptorType = USB_DT_ENDPOINT,
                    .bEndpointAddress = 1 | USB_DIR_IN,
                    .bmAttributes = USB_ENDPOINT_XFER_BULK,
                    .wMaxPacketSize = LE(64),
                },
            .out =
                {
                    .bLength = sizeof descriptors.fs.out,
                    .bDescriptorType = USB_DT_ENDPOINT,
                    .bEndpointAddress = 2 | USB_DIR_OUT,
                    .bmAttributes = USB_ENDPOINT_XFER_BULK,
                    .wMaxPacketSize = LE(64),
                },
        },
};

#define INTERFACE_NAME "FT232R USB UART"
static const struct {
    struct usb_functionfs_strings_head header;
    struct {
        __le16 code;
        const char name[sizeof INTERFACE_NAME];
    } __attribute__((packed)) lang0;
} __attribute__((packed)) strings = {
    .header =
        {
            .magic = LE(FUNCTIONFS_STRINGS_MAGIC),
            .length = LE(sizeof strings),
            .str_count = LE(1),
            .lang_count = LE(1),
        },
    .lang0 = {LE(0x0409), INTERFACE_NAME},
};

/* ---- endpoint 0 ------------------------------------------------------------------------- */

static int ep0 = -1;

static void stall(const struct usb_ctrlrequest* setup) {
    /* FunctionFS stalls a request when the wrong direction is used on ep0. */
    uint8_t dummy;
    if (setup->bRequestType & USB_DIR_IN) {
        if (read(ep0, &dummy, 0) < 0) { /* expected: EL2HLT */
        }
    } else {
        if (write(ep0, &dummy, 0) < 0) {
        }
    }
}

static void answer_in(const struct usb_ctrlrequest* setup, const void* data, size_t size) {
    const size_t wanted = le16toh(setup->wLength);
    if (write(ep0, data, size < wanted ? size : wanted) < 0) perror("ep0 write");
}

static void acknowledge_out(const struct usb_ctrlrequest* setup) {
    uint8_t buffer[512];
    size_t length = le16toh(setup->wLength);
    if (length > sizeof buffer) length = sizeof buffer;
    if (read(ep0, buffer, length) < 0) perror("ep0 read");
}

static void handle_setup(long long us, const struct usb_ctrlrequest* setup) {
    const uint16_t value = le16toh(setup->wValue), index = le16toh(setup->wIndex);
    const uint16_t length = le16toh(setup->wLength);
    const int vendor = (setup->bRequestType & USB_TYPE_MASK) == USB_TYPE_VENDOR;

    pthread_mutex_lock(&state_lock);
    log_line(us, "ctrl %s value=0x%04x index=0x%04x length=%u",
             vendor ? request_name(setup->bRequest) : "non-vendor", value, index, length);
    if (!vendor) {
        pthread_mutex_unlock(&state_lock);
        stall(setup);
        return;
    }
    int ok = 1;
    uint8_t reply[2];
    size_t reply_size = 0;
    switch (setup->bRequest) {
        case REQ_RESET:
            if (value == 0) { /* a reset of the serial engine: UART mode, as after power-on */
                bit_mode = 0;
                output_mask = 0;
                update_pins(us, "reset");
            }
            break;
        case REQ_MODEM_CTRL:
            if (value & 0x0100) dtr_asserted = value & 0x01;
            if (value & 0x0200) rts_asserted = (value & 0x02) != 0;
            update_pins(us, "modem_ctrl");
            break;
        case REQ_SET_BITMODE:
            bit_mode = (uint8_t)(value >> 8);
            output_mask = (uint8_t)value;
            update_pins(us, "set_bitmode");
            break;
        case REQ_SET_LATENCY_TIMER:
            latency_timer = (uint8_t)value;
            break;
        case REQ_GET_LATENCY_TIMER:
            reply[0] = latency_timer;
            reply_size = 1;
            break;
        case REQ_READ_PINS:
            reply[0] = pins;
            reply_size = 1;
            break;
        case REQ_POLL_MODEM_STATUS:
            reply[0] = 0x01;
            reply[1] = 0x60;
            reply_size = 2;
            break;
        case REQ_READ_EEPROM:
            if (index < 64) {
                reply[0] = (uint8_t)eeprom[index];
                reply[1] = (uint8_t)(eeprom[index] >> 8);
                reply_size = 2;
            } else {
                ok = 0;
            }
            break;
        case REQ_SET_FLOW_CTRL:
        case REQ_SET_BAUDRATE:
        case REQ_SET_DATA:
        case REQ_SET_EVENT_CHAR:
        case REQ_SET_ERROR_CHAR:
            break;
        default: /* EEPROM writes and erases, unknown requests: refused */
            ok = 0;
            break;
    }
    pthread_mutex_unlock(&state_lock);

    if (!ok)
        stall(setup);
    else if (setup->bRequestType & USB_DIR_IN)
        answer_in(setup, reply, reply_size);
    else
        acknowledge_out(setup);
}

static const char* event_name(uint8_t type) {
    switch (type) {
        case FUNCTIONFS_BIND:
            return "bind";
        case FUNCTIONFS_UNBIND:
            return "unbind";
        case FUNCTIONFS_ENABLE:
            return "enable";
        case FUNCTIONFS_DISABLE:
            return "disable";
        case FUNCTIONFS_SETUP:
            return "setup";
        case FUNCTIONFS_SUSPEND:
            return "suspend";
        case FUNCTIONFS_RESUME:
            return "resume";
        default:
            return "unknown";
    }
}

/* ---- bulk endpoints --------------------------------------------------------------------- */

static char in_path[512], out_path[512];

/* Answers every bulk IN read with the modem status; blocks while the host does not read. */
static void* bulk_in(void* unused) {
    (void)unused;
    const uint8_t status[2] = {0x01, 0x60};
    for (;;) {
        const int fd = open(in_path, O_RDWR);
        if (fd < 0) {
            usleep(10000);
            continue;
        }
        while (write(fd, status, sizeof status) >= 0) {
        }
        close(fd);
        usleep(10000); /* disabled or unbound: wait for the next enable */
    }
    return NULL;
}

/* Receives bulk OUT and logs every byte with its arrival time. */
static void* bulk_out(void* unused) {
    (void)unused;
    uint8_t buffer[4096];
    for (;;) {
        const int fd = open(out_path, O_RDWR);
        if (fd < 0) {
            usleep(10000);
            continue;
        }
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) >= 0) {
            const long long us = now_us();
            pthread_mutex_lock(&state_lock);
            for (ssize_t i = 0; i < n; i++) {
                output_latch = buffer[i];
                pins = model_pins();
                log_line(us, "out 0x%02x mode=%s mask=0x%02x pins=0x%02x", buffer[i], mode_name(),
                         output_mask, pins);
                check_trigger(buffer[i]);
            }
            const int stall = stall_ms;
            stall_ms = 0;
            pthread_mutex_unlock(&state_lock);
            if (stall > 0) {
                usleep((useconds_t)stall * 1000);
                log_line(now_us(), "resume");
            }
        }
        close(fd);
        usleep(10000);
    }
    return NULL;
}

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        fprintf(stderr, "usage: %s FUNCTIONFS-DIR LOG-FILE [TRIGGER-FILE]\n", argv[0]);
        return 2;
    }
    trigger_path = argc == 4 ? argv[3] : NULL;
    log_fd = open(argv[2], O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (log_fd < 0) {
        perror(argv[2]);
        return 1;
    }
    /* Above pmc10's own real-time priority, so each arrival is stamped when it happens. */
    struct sched_param param = {.sched_priority = 20};
    sched_setscheduler(0, SCHED_FIFO, &param);
    make_eeprom();

    char path[512];
    snprintf(path, sizeof path, "%s/ep0", argv[1]);
    ep0 = open(path, O_RDWR);
    if (ep0 < 0) {
        perror(path);
        return 1;
    }
    if (write(ep0, &descriptors, sizeof descriptors) < 0) {
        perror("descriptors");
        return 1;
    }
    if (write(ep0, &strings, sizeof strings) < 0) {
        perror("strings");
        return 1;
    }
    snprintf(in_path, sizeof in_path, "%s/ep1", argv[1]);
    snprintf(out_path, sizeof out_path, "%s/ep2", argv[1]);
    pthread_t in_thread, out_thread;
    pthread_create(&in_thread, NULL, bulk_in, NULL);
    pthread_create(&out_thread, NULL, bulk_out, NULL);
    log_line(now_us(), "ready");

    for (;;) {
        struct usb_functionfs_event events[4];
        const ssize_t n = read(ep0, events, sizeof events);
        if (n < 0) {
            if (errno == EINTR) continue;
            perror("ep0 events");
            return 1;
        }
        const long long us = now_us();
        for (size_t i = 0; i < (size_t)n / sizeof events[0]; i++) {
            if (events[i].type == FUNCTIONFS_SETUP)
                handle_setup(us, &events[i].u.setup);
            else
                log_line(us, "event %s", event_name(events[i].type));
        }
    }
}
