/*
 * A small GPIO character-device client for the emulated tests, independent of pmc10: it
 * shows that a gpiochip works before pmc10 is run against it, and holds lines for the
 * "lines busy" case.
 *
 *   gpio-lines find LABEL                 prints the /dev/gpiochipN whose label is LABEL
 *   gpio-lines walk CHIP MS S0 S1 ...     requests lines 0-3 as outputs at state S0, then
 *                                         sets S1, ... MS milliseconds apart (bit i: line i)
 *   gpio-lines hold CHIP CONSUMER         requests lines 0-3 (idle) as CONSUMER, prints
 *                                         "held" and keeps them until killed
 */
#include <dirent.h>
#include <fcntl.h>
#include <linux/gpio.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

static int requestLines(const char* chip, const char* consumer, unsigned state) {
    int fd = open(chip, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        perror(chip);
        exit(1);
    }
    struct gpio_v2_line_request req;
    memset(&req, 0, sizeof req);
    for (int i = 0; i < 4; ++i) req.offsets[i] = (unsigned)i;
    req.num_lines = 4;
    snprintf(req.consumer, sizeof req.consumer, "%s", consumer);
    req.config.flags = GPIO_V2_LINE_FLAG_OUTPUT;
    req.config.num_attrs = 1;
    req.config.attrs[0].attr.id = GPIO_V2_LINE_ATTR_ID_OUTPUT_VALUES;
    req.config.attrs[0].attr.values = state & 0xF;
    req.config.attrs[0].mask = 0xF;
    if (ioctl(fd, GPIO_V2_GET_LINE_IOCTL, &req) < 0) {
        perror("GPIO_V2_GET_LINE_IOCTL");
        exit(1);
    }
    close(fd);
    return req.fd;
}

int main(int argc, char** argv) {
    if (argc >= 3 && strcmp(argv[1], "find") == 0) {
        DIR* dir = opendir("/dev");
        struct dirent* entry;
        while (dir && (entry = readdir(dir))) {
            if (strncmp(entry->d_name, "gpiochip", 8) != 0) continue;
            char path[300];
            snprintf(path, sizeof path, "/dev/%s", entry->d_name);
            struct gpiochip_info info;
            int fd = open(path, O_RDONLY | O_CLOEXEC);
            if (fd >= 0 && ioctl(fd, GPIO_GET_CHIPINFO_IOCTL, &info) == 0 &&
                strcmp(info.label, argv[2]) == 0) {
                printf("%s %u\n", path, info.lines);
                return 0;
            }
            if (fd >= 0) close(fd);
        }
        return 1;
    }
    if (argc >= 5 && strcmp(argv[1], "walk") == 0) {
        long ms = strtol(argv[3], NULL, 0);
        int lines = requestLines(argv[2], "gpio-lines", (unsigned)strtoul(argv[4], NULL, 16));
        for (int i = 5; i < argc; ++i) {
            struct timespec pause = {ms / 1000, (ms % 1000) * 1000000};
            nanosleep(&pause, NULL);
            struct gpio_v2_line_values values = {strtoul(argv[i], NULL, 16) & 0xF, 0xF};
            if (ioctl(lines, GPIO_V2_LINE_SET_VALUES_IOCTL, &values) < 0) {
                perror("GPIO_V2_LINE_SET_VALUES_IOCTL");
                return 1;
            }
        }
        close(lines);
        return 0;
    }
    if (argc >= 4 && strcmp(argv[1], "hold") == 0) {
        requestLines(argv[2], argv[3], 0xF);
        printf("held\n");
        fflush(stdout);
        for (;;) pause();
    }
    fprintf(stderr, "usage: gpio-lines find LABEL | walk CHIP MS S0 S1 ... | hold CHIP NAME\n");
    return 2;
}
