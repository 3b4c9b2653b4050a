// Lists a mailbox with the program's POP3 client and prints how long it took.
// Usage: pop3_list [--sequential] SERVER PORT USER PASSWORD [TIMEOUT_SECONDS]
// --sequential: one command at a time even when the server offers PIPELINING.
// --cache FILE: list with the listing cache kept in FILE, and save it after.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "mail/listing_cache_file.h"
#include "mail/pop3_client.h"
#include "platform/poll_event_loop.h"

int main(int argc, char** argv) {
    const bool sequential = argc > 1 && std::string(argv[1]) == "--sequential";
    if (sequential) {
        --argc;
        ++argv;
    }
    std::string cacheFile;
    if (argc > 2 && std::string(argv[1]) == "--cache") {
        cacheFile = argv[2];
        argc -= 2;
        argv += 2;
    }
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s SERVER PORT USER PASSWORD [TIMEOUT_SECONDS]\n", argv[0]);
        return 2;
    }
    quorvel::PollEventLoop loop;
    quorvel::TmsRemotePOP pop(loop, loop);
    pop.Server = std::string(argv[1]) + ":" + argv[2];
    pop.UserName = argv[3];
    pop.Password = argv[4];
    pop.TimeOut = argc > 5 ? std::atoi(argv[5]) : 120;
    pop.UsePipelining = !sequential;
    quorvel::TmsListingCacheFile cache(cacheFile, {pop.Server, pop.DefaultPort, pop.UserName});
    const auto start = std::chrono::steady_clock::now();
    try {
        if (!cacheFile.empty()) {
            cache.load();
            pop.ListingCache = &cache;
        }
        pop.UpdateInfo();
        if (!cacheFile.empty()) cache.save();
    } catch (const std::exception& e) {
        std::printf("error: %s\n", e.what());
        return 1;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::size_t headerLines = 0;
    for (int i = 0; i < pop.RemoteInfo().Count(); ++i) headerLines += pop.RemoteInfo().Items(i).Headers.size();
    std::printf("%d messages, %zu header lines, %.3f s\n", pop.RemoteInfo().Count(), headerLines, took.count());
    return 0;
}
