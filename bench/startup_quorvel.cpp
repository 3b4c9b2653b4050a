// Starts Quorvel as a user would and ends as soon as its main window is on
// screen, printing the time from launch (see startup_compare.sh).
#include "bench/startup_time.h"
#include "ui/application.h"

int main(int argc, char** argv) {
    quorvel::ui::RunOptions options;
    options.instanceName = "quorvel-startup-bench";
    options.onShownThenQuit = [argc, argv] { printMillisecondsSinceLaunch(argc, argv); };
    return quorvel::ui::runQuorvel(argc, argv, options);
}
