#include <cstdio>

int main()
{
    std::printf("Vessa %s\n", VESSA_VERSION);
    return 0;
}
