// The control daemon; the board it drives comes from the driver library it links.
#include "server/main/daemon_main.h"
#include "slots/modem_factory.h"

int main(int argc, char** argv) {
    return ServerMain(argc, argv, ModemFactory::kAuthPort);
}
