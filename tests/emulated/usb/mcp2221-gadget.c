/*
 * An MCP2221A's HID command interface, behind a configfs HID gadget (/dev/hidg0), for the
 * emulated tests: the host's hid-mcp2221 driver binds to it and offers its four GP pins as
 * a gpiochip. Every command is a 64-byte output report answered by one 64-byte input
 * report. GPIO, SRAM-settings and status commands work as on the chip; I2C transfers
 * answer "engine busy", which the driver reports as a failed transfer.
 *
 * The log has one line per change of the four pins, "MICROSECONDS STATE", the time from
 * CLOCK_MONOTONIC and STATE as pmc10 writes it: 0xF0 | GP3..GP0. A pin that is an input
 * reads 1, as the foot controller's pull-ups would hold it.
 *
 * When the file /tmp/interrupt-pid exists as a key appears on the pins, the process it
 * names gets SIGINT at that moment (once): a test's way to interrupt a run mid-hold.
 *
 * Usage: mcp2221-gadget HIDG LOG [LATCH]    LATCH: the power-up output values (default 0xf)
 */
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

enum {
    CMD_STATUS_SET_PARAMETERS = 0x10,
    CMD_I2C_GET_DATA = 0x40,
    CMD_GPIO_SET = 0x50,
    CMD_GPIO_GET = 0x51,
    CMD_SRAM_SET = 0x60,
    CMD_SRAM_GET = 0x61,
    CMD_I2C_WRITE = 0x90,
    CMD_I2C_READ = 0x91,
    CMD_I2C_WRITE_REPEATED_START = 0x92,
    CMD_I2C_READ_REPEATED_START = 0x93,
    CMD_I2C_WRITE_NO_STOP = 0x94,
    CMD_FLASH_READ = 0xB0,
    NOT_GPIO = 0xEE,
    NOT_GPIO_DIRECTION = 0xEF,
    REPORT = 64,
};

/* The SRAM GP settings byte: designation (0 = GPIO), direction (1 = input), output value. */
struct pin {
    uint8_t designation;
    uint8_t input;
    uint8_t latch;
};

static struct pin pins[4];
static int logFd = -1;
static int lastState = -1;

static long long nowMicros(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000 + ts.tv_nsec / 1000;
}

static int pinState(void) {
    int state = 0xF0;
    for (int i = 0; i < 4; ++i) {
        int level = (pins[i].designation == 0 && !pins[i].input) ? pins[i].latch : 1;
        state |= level << i;
    }
    return state;
}

/* Logs the pins when they differ from the last logged state. */
static void logPins(void) {
    int state = pinState();
    if (state == lastState) return;
    lastState = state;
    dprintf(logFd, "%lld %02x\n", nowMicros(), state);
    FILE* pidFile = state != 0xFF ? fopen("/tmp/interrupt-pid", "r") : NULL;
    if (pidFile) {
        int pid = 0;
        if (fscanf(pidFile, "%d", &pid) == 1 && pid > 0) kill(pid, SIGINT);
        fclose(pidFile);
        unlink("/tmp/interrupt-pid");
    }
}

static uint8_t settingsByte(const struct pin* p) {
    return (uint8_t)(p->designation | (p->input << 3) | (p->latch << 4));
}

static void answer(const uint8_t* cmd, uint8_t* rsp) {
    memset(rsp, 0, REPORT);
    rsp[0] = cmd[0];
    switch (cmd[0]) {
        case CMD_STATUS_SET_PARAMETERS:
            /* cmd[2] 0x10: cancel the transfer; cmd[3] 0x20: new I2C clock divider cmd[4]. */
            rsp[2] = cmd[2] == 0x10 ? 0x10 : 0x00;
            rsp[3] = cmd[3] == 0x20 ? 0x20 : 0x00;
            rsp[4] = cmd[3] == 0x20 ? cmd[4] : 0x00;
            rsp[8] = 0x00; /* I2C engine idle */
            rsp[46] = 'A';
            rsp[47] = '6';
            rsp[48] = '1';
            rsp[49] = '2';
            break;
        case CMD_GPIO_SET:
            /* Per pin: alter value, value, alter direction, direction (0 = output). */
            for (int i = 0; i < 4; ++i) {
                const uint8_t* c = cmd + 2 + 4 * i;
                uint8_t* r = rsp + 2 + 4 * i;
                if (pins[i].designation != 0) {
                    memset(r, NOT_GPIO, 4);
                    continue;
                }
                if (c[0]) pins[i].latch = c[1] != 0;
                if (c[2]) pins[i].input = c[3] != 0;
                memcpy(r, c, 4);
            }
            logPins();
            break;
        case CMD_GPIO_GET:
            for (int i = 0; i < 4; ++i) {
                if (pins[i].designation != 0) {
                    rsp[2 + 2 * i] = NOT_GPIO;
                    rsp[3 + 2 * i] = NOT_GPIO_DIRECTION;
                } else {
                    rsp[2 + 2 * i] = (uint8_t)((pinState() >> i) & 1);
                    rsp[3 + 2 * i] = pins[i].input;
                }
            }
            break;
        case CMD_SRAM_GET:
            rsp[2] = 18; /* length of the chip settings */
            for (int i = 0; i < 4; ++i) rsp[22 + i] = settingsByte(&pins[i]);
            break;
        case CMD_SRAM_SET:
            /* Byte 7 bit 7: the GP settings in bytes 8..11 are to be taken. */
            if (cmd[7] & 0x80) {
                for (int i = 0; i < 4; ++i) {
                    pins[i].designation = cmd[8 + i] & 0x07;
                    pins[i].input = (cmd[8 + i] >> 3) & 1;
                    pins[i].latch = (cmd[8 + i] >> 4) & 1;
                }
                logPins();
            }
            break;
        case CMD_FLASH_READ:
            rsp[2] = 10; /* chip settings: all defaults */
            break;
        case CMD_I2C_WRITE:
        case CMD_I2C_READ:
        case CMD_I2C_WRITE_REPEATED_START:
        case CMD_I2C_READ_REPEATED_START:
        case CMD_I2C_WRITE_NO_STOP:
        case CMD_I2C_GET_DATA:
        default:
            rsp[1] = 0x01; /* busy: the command is not carried out */
            break;
    }
}

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s HIDG LOG [LATCH]\n", argv[0]);
        return 2;
    }
    unsigned latch = argc > 3 ? (unsigned)strtoul(argv[3], NULL, 0) : 0xF;
    for (int i = 0; i < 4; ++i) {
        pins[i].designation = 0;
        pins[i].input = 1;
        pins[i].latch = (latch >> i) & 1;
    }
    logFd = open(argv[2], O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (logFd < 0) {
        perror(argv[2]);
        return 1;
    }
    int fd = -1;
    for (int tries = 0; fd < 0; ++tries) { /* the node appears once the gadget is bound */
        fd = open(argv[1], O_RDWR | O_CLOEXEC);
        if (fd < 0 && (errno != ENOENT || tries > 500)) {
            perror(argv[1]);
            return 1;
        }
        if (fd < 0) usleep(10000);
    }
    logPins();
    uint8_t cmd[REPORT], rsp[REPORT];
    for (;;) {
        memset(cmd, 0, sizeof cmd);
        ssize_t n = read(fd, cmd, sizeof cmd);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            perror("read");
            return 1;
        }
        if (getenv("MCP2221_TRACE")) fprintf(stderr, "%lld cmd %02x %zd\n", nowMicros(), cmd[0], n);
        answer(cmd, rsp);
        if (write(fd, rsp, sizeof rsp) != (ssize_t)sizeof rsp) {
            perror("write");
            return 1;
        }
    }
}
