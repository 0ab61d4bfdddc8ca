// What the service pays while it waits for a slow IP-echo page, and how fast the address is
// found in a large page. Usage: http_bench [seconds the server waits, default 10]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "net/AjaxComm.h"
#include "net/http/HttpRequest.h"
#include "net/utilIPAdresse.h"
#include "platform/EventLoop.h"

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

// The real request, counting the passes of the control's wait loop.
class CountingRequest : public net::http::HttpRequest {
  public:
    CountingRequest(std::unique_ptr<HttpRequest> real, long& passes)
        : real_(std::move(real)), passes_(passes) {}
    void open(const std::string& method, const std::string& url, bool async,
              const std::string& user, const std::string& password) override {
        real_->open(method, url, async, user, password);
    }
    void setRequestHeader(const std::string& name, const std::string& value) override {
        real_->setRequestHeader(name, value);
    }
    void setAddressFamily(net::AddressFamily family) override { real_->setAddressFamily(family); }
    void send(const std::string& body) override { real_->send(body); }
    int readyState() override {
        ++passes_;
        return real_->readyState();
    }
    void wait() override { real_->wait(); }
    int status() override { return real_->status(); }
    std::string getResponseHeader(const std::string& name) override {
        return real_->getResponseHeader(name);
    }
    std::string responseText() override { return real_->responseText(); }
    std::vector<std::uint8_t> responseBody() override { return real_->responseBody(); }
    void abort() override { real_->abort(); }

  private:
    std::unique_ptr<HttpRequest> real_;
    long& passes_;
};

// Answers one request after `delay`.
int StartSlowServer(std::chrono::seconds delay, std::thread& thread) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("server");
        std::exit(1);
    }
    thread = std::thread([listener, delay] {
        int connection = accept(listener, nullptr, nullptr);
        char buffer[4096];
        (void)!recv(connection, buffer, sizeof buffer, 0);
        std::this_thread::sleep_for(delay);
        std::string answer =
            "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 8\r\n"
            "Connection: close\r\n\r\n84.1.2.3";
        (void)!send(connection, answer.data(), answer.size(), MSG_NOSIGNAL);
        close(connection);
        close(listener);
    });
    return ntohs(address.sin_port);
}

std::string EchoPage(std::size_t size) {
    std::string page = "<html><head><title>Meine IP</title></head><body>\n";
    while (page.size() < size) {
        page +=
            "<p class=\"note\">Lorem ipsum dolor sit amet. Version 2.0.1 of this page, "
            "call 555.1234 or see www.zarvo.example.</p>\n";
    }
    return page + "Current IP Address: 84.1.2.3</body></html>\n";
}

}  // namespace

int main(int argc, char** argv) {
    std::chrono::seconds delay(argc > 1 ? std::atoi(argv[1]) : 10);
    // Before any thread starts, so that the signal is left to the loop's descriptor.
    platform::EventLoop loop;
    std::thread server;
    int port = StartSlowServer(delay, server);

    long passes = 0;
    net::http::OverrideHttpRequestFactory([&passes] {
        return std::make_unique<CountingRequest>(net::http::CreateCurlHttpRequest(), passes);
    });
    AjaxComm comm;
    comm.SendMethod("get");
    comm.ContentType("TEXT");
    comm.ServerAddress("http://127.0.0.1:" + std::to_string(port));
    std::string sHeader;
    double cpuBefore = CpuSeconds();
    Clock::time_point start = Clock::now();
    std::string answer = AsText(comm.SendData("/meineip.php", 1, sHeader));
    double wall = Seconds(Clock::now() - start);
    double cpu = CpuSeconds() - cpuBefore;
    server.join();
    std::printf("wait for a %lld s answer: %.2f s wall, %.4f s CPU, %ld wake-ups, answer \"%s\"\n",
                static_cast<long long>(delay.count()), wall, cpu, passes, answer.c_str());

    std::string page = EchoPage(1024 * 1024);
    const int rounds = 20;
    std::string address;
    start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        address = ExtractIPAddress(page);
    }
    double seconds = Seconds(Clock::now() - start);
    std::printf("ExtractIPAddress on a %zu byte page: %.1f MB/s, found \"%s\"\n", page.size(),
                static_cast<double>(page.size()) * rounds / seconds / 1e6, address.c_str());
    return answer == "84.1.2.3" && address == "84.1.2.3" ? 0 : 1;
}
