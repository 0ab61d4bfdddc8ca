#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

/// One HTTP request as the loopback server received it.
struct SeenRequest {
    std::string head, body;  // request line and header lines as sent; the body
    std::string Line() const { return head.substr(0, head.find("\r\n")); }
    bool Has(const std::string& text) const { return head.find("\r\n" + text) != head.npos; }
};

/// An HTTP server on 127.0.0.1 whose answers the test writes byte by byte, so that it can stall,
/// lie about lengths or hang up. One request per connection; the destructor stops it.
class LoopbackHttpServer {
  public:
    struct Connection {
        int socket, stop;
        /// Waits until `events` on the socket; false when the server stops or `time` passes.
        bool Await(short events, std::chrono::milliseconds time = std::chrono::seconds(5)) const {
            pollfd fds[2] = {{socket, events, 0}, {stop, POLLIN, 0}};
            return poll(fds, 2, static_cast<int>(time.count())) > 0 && fds[1].revents == 0;
        }
        bool Pause(std::chrono::milliseconds time) const {
            pollfd fd{stop, POLLIN, 0};
            return poll(&fd, 1, static_cast<int>(time.count())) == 0;
        }
        /// False once the client has gone or the server stops.
        bool Write(const std::string& data) const {
            ssize_t n = 0;
            for (std::size_t sent = 0; sent < data.size(); sent += static_cast<std::size_t>(n)) {
                if (!Await(POLLOUT) ||
                    (n = send(socket, &data[sent], data.size() - sent, MSG_NOSIGNAL)) <= 0) {
                    return false;
                }
            }
            return true;
        }
    };
    using Handler = std::function<void(const SeenRequest&, const Connection&)>;

    explicit LoopbackHttpServer(Handler handler) : handler_(std::move(handler)) {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        bind(listen_, reinterpret_cast<sockaddr*>(&address), length);
        listen(listen_, 16);
        getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~LoopbackHttpServer() {
        (void)!eventfd_write(stop_, 1);
        thread_.join();
        close(listen_);
        close(stop_);
    }

    std::string Url(const std::string& path = "/") const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    std::vector<SeenRequest> Requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    static std::string Answer(const std::string& status, const std::string& headers,
                              const std::string& body) {
        return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\nConnection: close\r\n" + headers + "\r\n" + body;
    }

  private:
    void Serve() {
        while (Connection{listen_, stop_}.Await(POLLIN, std::chrono::milliseconds(-1))) {
            Connection connection{accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC), stop_};
            std::string data;
            std::size_t end = data.npos, wanted = 0;
            char buffer[4096];
            ssize_t n = 1;
            while (n > 0 && (end == data.npos || data.size() < end + 4 + wanted)) {
                n = connection.Await(POLLIN) ? recv(connection.socket, buffer, sizeof buffer, 0)
                                             : 0;
                data.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
                if (end == data.npos && (end = data.find("\r\n\r\n")) != data.npos) {
                    std::size_t at = data.find("\r\nContent-Length: ");
                    wanted = at < end ? std::stoul(data.substr(at + 18)) : 0;
                }
            }
            if (n > 0) {
                SeenRequest request{data.substr(0, end + 2), data.substr(end + 4)};
                {
                    std::lock_guard lock(mutex_);
                    requests_.push_back(request);
                }
                handler_(request, connection);
            }
            close(connection.socket);
        }
    }

    Handler handler_;
    int listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0), stop_ = eventfd(0, EFD_CLOEXEC);
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<SeenRequest> requests_;
};
