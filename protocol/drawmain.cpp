// zenda-draw IN.json OUT.pdf: draws the commissioning protocol that zenda describes, with Qt Gui
// on its offscreen platform: the command line's package draws protocols with no window system
// and no window program installed, and zenda itself stays on Qt Core.
#include <cstdio>
#include <cstring>

#include "protocol.h"
#include "version.h"

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("zenda-draw %s\n", ZENDA_VERSION);
        return 0;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: zenda-draw IN.json OUT.pdf\n");
        return 2;
    }
    return DrawProtocolFiles(argv[1], argv[2]);
}
