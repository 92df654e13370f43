// Standard input, output and error that are closed at start (a cron job, a service, `>&-`)
// are opened on the null device, so that the next file opened, a serial port above all,
// never becomes descriptor 1 or 2 and receives the program's messages as commands.
#pragma once

#ifdef _WIN32
inline void KeepStandardStreams() {}
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

inline void KeepStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free descriptor is this one, since those below it are open now.
        const int got = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (got >= 0 && got != fd)
            ::close(got);
    }
}
#endif
