/* Reads framed messages from a serial line. Frames are 8 bytes that begin
 * with the header 0xA5 0x5A; the reader hunts for the header and drops any
 * noise before it. With no port named, the program makes a pseudo-terminal
 * pair (Linux), opens one end as the port and plays the device on the other.
 *
 *     corvane_serial_frames [PORT]
 */
#define _DEFAULT_SOURCE /* cfmakeraw */
#define _XOPEN_SOURCE 600
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <corvane/corvane.h>

enum { frame_size = 8 };
static const uint8_t header[] = {0xA5, 0x5A};

/* The device end of a new pseudo-terminal pair, in raw mode; *port_name
 * receives the path of the other end. */
static int make_device(const char** port_name) {
    struct termios raw;
    int device = posix_openpt(O_RDWR | O_NOCTTY);
    if (device < 0 || grantpt(device) != 0 || unlockpt(device) != 0) {
        return -1;
    }
    tcgetattr(device, &raw);
    cfmakeraw(&raw);
    tcsetattr(device, TCSANOW, &raw);
    *port_name = ptsname(device);
    return device;
}

static void print_frame(const uint8_t* frame) {
    int i;
    for (i = 0; i < frame_size; ++i) {
        printf("%02X%c", frame[i], i + 1 < frame_size ? ' ' : '\n');
    }
}

int main(int argc, char** argv) {
    /* Noise, two frames, noise, a third frame. */
    static const uint8_t traffic[] = {0x00, 0xA5, 0x13, 0xA5, 0x5A, 1, 2, 3, 4, 5, 6,
                                      0xA5, 0x5A, 7, 8, 9, 10, 11, 12, 0xFF, 0x5A,
                                      0xA5, 0x5A, 13, 14, 15, 16, 17, 18};
    const char* port_name = argc > 1 ? argv[1] : NULL;
    int device = -1;
    intptr_t port;
    uint8_t frame[frame_size];
    int frames = 0;

    if (port_name == NULL && (device = make_device(&port_name)) < 0) {
        perror("pseudo-terminal");
        return 1;
    }
    port = os_serial_open(port_name, 115200, 0, 0);
    if (port == CORVANE_INVALID_SERIAL_PORT) {
        fprintf(stderr, "cannot open %s\n", port_name);
        return 1;
    }
    if (device >= 0 && write(device, traffic, sizeof traffic) != (ssize_t)sizeof traffic) {
        perror("device");
        return 1;
    }
    while (os_serial_read(port, frame, frame_size, header, sizeof header, 200) == frame_size) {
        print_frame(frame);
        ++frames;
    }
    os_serial_close(&port);
    if (device >= 0) {
        close(device);
    }
    printf("%d frames\n", frames);
    return device >= 0 && frames != 3;
}
