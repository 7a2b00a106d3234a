// Bit rates outside the termios speed table. The kernel's termios2 header
// clashes with the C library's <termios.h>, so this stands in its own file.

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "comm/linux/posix_comm.hpp"

namespace corvane::detail {

bool set_custom_baud_rate(int fd, std::uint32_t baud_rate) {
    termios2 settings{};
    if (::ioctl(fd, TCGETS2, &settings) != 0) {
        return false;
    }
    settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = baud_rate;
    settings.c_ospeed = baud_rate;
    return ::ioctl(fd, TCSETS2, &settings) == 0;
}

}  // namespace corvane::detail
