// Run as uid 65534 by PortAccessTest: reports what a port opened as that
// user says, on one line.

#include "PortFailure.h"
#include "SerialPort.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PORT\n", argv[0]);
        return 2;
    }
    CSerialPort port;
    const int probe = port.ProbePort(argv[1]);
    const int fd = ::open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK);   // the exclusive flag refuses even a lock-less open
    std::printf("child: uid %d, probe %d, %s, open %s\n", static_cast<int>(::geteuid()), probe,
                PortFailureText(port.LastFailure()), fd >= 0 ? "ok" : std::strerror(errno));
    if (fd >= 0)
        ::close(fd);
    return 0;
}
