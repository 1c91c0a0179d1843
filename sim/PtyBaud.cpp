// Kept in a file of its own: the kernel's <asm/termbits.h> defines a struct
// termios of its own that clashes with the C library's <termios.h>.
#include "PtyBaud.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace VarnexSim {

qint32 PeerBaud(int masterFd)
{
    struct termios2 tio {};
    if (ioctl(masterFd, TCGETS2, &tio) != 0)
        return 0;
    return qint32(tio.c_ospeed);
}

} // namespace VarnexSim
