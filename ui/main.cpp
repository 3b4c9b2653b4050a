#include "platform/no_core_dump.h"
#include "ui/application.h"

int main(int argc, char** argv) {
    // Passwords and tokens pass through memory: none of it goes into a core file.
    quorvel::disableCoreDumps();
    return quorvel::ui::runQuorvel(argc, argv);
}
