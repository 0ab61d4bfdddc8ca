#include <stdlib.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "net/AjaxComm.h"
#include "net/http/HttpRequest.h"
#include "tests/support/LoopbackHttpServer.h"

namespace {

std::mutex answerMutex;
std::string answer;

}  // namespace

// The fuzzer's bytes are the whole answer of a loopback server, status line and headers
// included, to a request of the update service's kind; the server then hangs up.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace std::chrono_literals;
    static LoopbackHttpServer* server = [] {
        setenv("no_proxy", "*", 1);
        net::http::OverrideHttpBounds(net::http::HttpBounds{1s, 200ms, 2s, 1024 * 1024});
        return new LoopbackHttpServer(
            [](const SeenRequest&, const LoopbackHttpServer::Connection& c) {
                std::string bytes;
                {
                    std::lock_guard lock(answerMutex);
                    bytes = answer;
                }
                c.Write(bytes);
            });
    }();
    {
        std::lock_guard lock(answerMutex);
        answer.assign(reinterpret_cast<const char*>(data), size);
    }
    AjaxComm comm;
    comm.ServerAddress(server->Url(""));
    comm.UserName("user");
    comm.Password("secret");
    std::string header;
    static_cast<void>(comm.SendData("/nic/update?hostname=h&myip=1.2.3.4", 1, header));
    return 0;
}
