// The control daemon; the board it drives comes from the driver library it links.
#include "server/main/daemon_main.h"

int main(int argc, char** argv) {
    return ServerMain(argc, argv);
}
