/* The pmc10 board, emulated: runs the firmware ELF on simavr's ATmega328P at 16 MHz,
 * paced to real time, with UART0 on a pseudo-terminal, and logs every change of the four
 * data lines (PC0..PC3) with the CPU cycle it happened on.
 *
 *   board-sim FIRMWARE.elf PINLOG PTYNAME
 *
 * PTYNAME receives the pseudo-terminal's path once the board runs. Each PINLOG line is
 * "CYCLE LINES", LINES the four lines as one hex digit (f: idle). Ends on SIGTERM/SIGINT. */
#include <errno.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "avr_ioport.h"
#include "sim_avr.h"
#include "sim_elf.h"
#include "uart_pty.h"

static const uint32_t kFrequency = 16000000;
static volatile sig_atomic_t stopping = 0;
static FILE* pinLog = NULL;
static int lastLines = -1;
static avr_t* avr = NULL;

static void onStop(int number) {
    (void)number;
    stopping = 1;
}

static void onLines(struct avr_irq_t* irq, uint32_t value, void* param) {
    (void)irq;
    (void)param;
    const int lines = (int)(value & 0x0F);
    if (lines != lastLines) {
        lastLines = lines;
        fprintf(pinLog, "%llu %x\n", (unsigned long long)avr->cycle, lines);
        fflush(pinLog);
    }
}

static int64_t nowNanos(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (int64_t)now.tv_sec * 1000000000 + now.tv_nsec;
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: board-sim FIRMWARE.elf PINLOG PTYNAME\n");
        return 2;
    }
    elf_firmware_t firmware;
    memset(&firmware, 0, sizeof firmware);
    if (elf_read_firmware(argv[1], &firmware) != 0) {
        fprintf(stderr, "board-sim: cannot read %s\n", argv[1]);
        return 1;
    }
    firmware.frequency = kFrequency;
    avr = avr_make_mcu_by_name("atmega328p");
    if (avr == NULL) {
        fprintf(stderr, "board-sim: simavr has no atmega328p\n");
        return 1;
    }
    avr_init(avr);
    avr_load_firmware(avr, &firmware);
    avr->frequency = kFrequency;

    pinLog = fopen(argv[2], "w");
    if (pinLog == NULL) {
        fprintf(stderr, "board-sim: %s: %s\n", argv[2], strerror(errno));
        return 1;
    }
    avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_IOPORT_GETIRQ('C'), IOPORT_IRQ_PIN_ALL),
                            onLines, NULL);

    static uart_pty_t uart;
    uart_pty_init(avr, &uart);
    uart_pty_connect(&uart, '0');
    FILE* name = fopen(argv[3], "w");
    if (name == NULL) {
        fprintf(stderr, "board-sim: %s: %s\n", argv[3], strerror(errno));
        return 1;
    }
    fprintf(name, "%s\n", uart.pty.slavename);
    fclose(name);

    signal(SIGTERM, onStop);
    signal(SIGINT, onStop);
    const int64_t start = nowNanos();
    avr_cycle_count_t paced = 0;
    int state = cpu_Running;
    while (!stopping && state != cpu_Done && state != cpu_Crashed) {
        state = avr_run(avr);
        /* Never run ahead of the wall clock: sleep whenever simulated time leads. */
        if (avr->cycle - paced >= kFrequency / 2000) {
            paced = avr->cycle;
            const int64_t simulated = (int64_t)(avr->cycle * 1000000000ull / kFrequency);
            const int64_t ahead = simulated - (nowNanos() - start);
            if (ahead > 0) {
                struct timespec pause = {(time_t)(ahead / 1000000000), (long)(ahead % 1000000000)};
                nanosleep(&pause, NULL);
            }
        }
    }
    /* uart_pty_stop() would wait for its thread, which may sit in a read for ever: the
     * process ends here and the pseudo-terminal goes with it. */
    fclose(pinLog);
    if (state == cpu_Crashed) {
        fprintf(stderr, "board-sim: the firmware crashed at cycle %llu\n",
                (unsigned long long)avr->cycle);
        return 1;
    }
    return 0;
}
