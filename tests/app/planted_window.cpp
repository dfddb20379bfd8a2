// A window module planted where nixora must never look for one: it only says that it ran.
#include <cstdio>

extern "C" __attribute__((visibility("default"))) int nixoraRunWindow(int, char**, const void*)
{
    std::puts("planted module ran");
    return 0;
}
