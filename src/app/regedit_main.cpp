#include <cstdio>

int main(int argc, char* argv[])
{
    (void)argv;
    if (argc < 2) {
        std::fprintf(stderr, "usage: nixora-regedit /E file key | /S file\n");
        return 2;
    }
    return 2;
}
