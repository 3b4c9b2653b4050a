#include "ui/application.h"

int main(int argc, char** argv) {
    return quorvel::ui::runQuorvel(argc, argv);
}
