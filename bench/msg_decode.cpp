// Loads one raw message file into the viewer's message component, as the
// "View body" command does, and prints how long the load and decode took.
// Usage: msg_decode FILE
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

#include "mail/msg_decoder.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    quorvel::TmsMessage message;
    const auto start = std::chrono::steady_clock::now();
    try {
        message.LoadFromFile(argv[1]);
    } catch (const std::exception& e) {
        std::printf("error: %s\n", e.what());
        return 1;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::size_t decoded = 0;
    for (int i = 0; i < message.Attachments.Count(); ++i) decoded += message.Attachments.Items(i).Data.size();
    std::printf("%zu body lines, %d records, %zu decoded octets, %.4f s\n", message.Body.count(),
                message.Attachments.Count(), decoded, took.count());
    return 0;
}
