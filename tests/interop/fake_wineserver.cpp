// Stands in for a wineserver of another Wine build: holds the write lock on byte 0 of
// <folder>/lock, as a server does, until it is killed. Its executable is named wineserver, and
// the loader beside it (fake-wine64) answers every client as Wine's own loader answers when the
// server speaks another protocol.
//   wineserver <folder>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    char path[4096];
    if (argc != 2)
        return 2;
    mkdir(argv[1], 0700);
    std::snprintf(path, sizeof path, "%s/lock", argv[1]);
    const int fd = open(path, O_RDWR | O_CREAT, 0600);
    struct flock lock {
    };
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_len = 1;
    if (fd < 0 || fcntl(fd, F_SETLK, &lock) != 0)
        return 1;
    std::puts("ready");
    std::fflush(stdout);
    for (;;)
        pause();
}
