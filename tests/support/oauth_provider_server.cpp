#include "support/oauth_provider_server.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

namespace quorvel::testing {

OAuthProviderServer::OAuthProviderServer(const std::vector<std::string>& knobs) {
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe");
    std::vector<std::string> words = {"python3", QUORVEL_TEST_SUPPORT_DIR "/oauth_provider.py"};
    words.insert(words.end(), knobs.begin(), knobs.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
        // It ends with the test, even one that crashed.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        ::execvp("python3", argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    // The first line says where it listens; the pipe stays open until it ends.
    FILE* reader = ::fdopen(out[0], "r");
    char line[64] = {};
    const bool read = reader && std::fgets(line, sizeof line, reader);
    if (reader) std::fclose(reader);
    if (!read || std::sscanf(line, "PORT %d", &port_) != 1 || port_ <= 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        throw std::runtime_error("the OAuth provider did not start");
    }
}

OAuthProviderServer::~OAuthProviderServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
}

std::string OAuthProviderServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

}  // namespace quorvel::testing
