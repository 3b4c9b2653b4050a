// The floor for the POP3 listing: a minimal blocking-socket client that sends
// the same commands (USER, PASS, STAT, LIST n and TOP n 1 per message, QUIT)
// and keeps the answers, with no event loop and no parsing beyond the ends.
// Usage: pop3_floor SERVER PORT USER PASSWORD
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int fd = -1;
std::string input;

std::string readLine() {
    for (;;) {
        const auto lf = input.find('\n');
        if (lf != std::string::npos) {
            std::string line = input.substr(0, lf + 1);
            input.erase(0, lf + 1);
            return line;
        }
        char buffer[16384];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) std::exit(1);
        input.append(buffer, static_cast<std::size_t>(n));
    }
}

std::string command(const std::string& line) {
    const std::string data = line + "\r\n";
    if (send(fd, data.data(), data.size(), 0) != static_cast<ssize_t>(data.size())) std::exit(1);
    return readLine();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) return 2;
    const auto start = std::chrono::steady_clock::now();
    fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[2])));
    inet_pton(AF_INET, argv[1], &address.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 1;
    readLine();
    command(std::string("USER ") + argv[3]);
    command(std::string("PASS ") + argv[4]);
    const int count = std::atoi(command("STAT").c_str() + 4);
    std::vector<std::string> headers;
    for (int i = 1; i <= count; ++i) {
        command("LIST " + std::to_string(i));
        command("TOP " + std::to_string(i) + " 1");
        std::string answer;
        for (std::string line = readLine(); line != ".\r\n"; line = readLine()) answer += line;
        headers.push_back(std::move(answer));
    }
    command("QUIT");
    close(fd);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%zu messages, %.3f s\n", headers.size(), took.count());
    return 0;
}
