#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorvel::testing {

// A POP3 server that plays a written dialogue on loopback, one step a line:
//   "C: LIST 1"     the client must send this line next
//   "S: +OK 1 1200" send this line (CR LF added)
//   "RAW: bytes"    send the bytes as they are (no line end added)
//   "SPLIT: text"   send text and CR LF one octet per TCP segment
//   "CLOSE"         close the connection
//   "ACCEPT"        close the connection and take the next one
//   "PAUSE: 4000"   say nothing for so many milliseconds
//   "WAIT"          say nothing until the client closes the connection
//   "QUIET"         the client must have sent nothing beyond the lines read
// Any other line from the client, or a client that closes early, is a failure.
class ScriptedServer {
public:
    explicit ScriptedServer(std::vector<std::string> script, bool ipv6 = false);
    // For a dialogue that names the server's own port (OAUTHBEARER does).
    explicit ScriptedServer(const std::function<std::vector<std::string>(int port)>& scriptFor);
    ~ScriptedServer();

    int port() const { return port_; }
    // Waits for the dialogue to end (the client gone or the script done).
    void join();
    // What went wrong, empty when the client kept to the script.
    std::vector<std::string> failures();
    // Every line the client sent, in order.
    std::vector<std::string> received();
    // Every octet read from the client, as it came (what went over the wire).
    std::string wire();
    // True when the client closed its side while the server waited ("WAIT").
    bool sawClientClose();

private:
    void run();
    bool acceptClient();
    bool readLine(std::string& line);
    void sendAll(const std::string& bytes);
    void fail(const std::string& what);

    std::vector<std::string> script_;
    int listener_ = -1;
    int client_ = -1;
    int port_ = 0;
    std::string input_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> failures_, received_;
    std::string wire_;
    bool sawClientClose_ = false;
    std::thread thread_;
};

// A loopback port on which nothing listens.
int unusedPort();

}  // namespace quorvel::testing
