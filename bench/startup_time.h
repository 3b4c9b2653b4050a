#pragma once

// Both start-up programs take the launch time (nanoseconds since the epoch,
// as `date +%s%N` prints it) as their first argument and print the
// milliseconds from launch to the shown window.
#include <chrono>
#include <cstdio>
#include <cstdlib>

inline void printMillisecondsSinceLaunch(int argc, char** argv) {
    if (argc < 2) return;
    const long long launched = std::atoll(argv[1]);
    const long long now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::system_clock::now().time_since_epoch()).count();
    std::printf("%.1f\n", (now - launched) / 1e6);
    std::fflush(stdout);
}
