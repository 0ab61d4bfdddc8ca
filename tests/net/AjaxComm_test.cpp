#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <tuple>

#include "net/AjaxComm.h"
#include "net/http/HttpRequest.h"
#include "platform/EventLoop.h"
#include "platform/ProgramInfo.h"
#include "platform/Version.h"
#include "support/LoopbackHttpServer.h"

namespace {

using namespace std::chrono_literals;
using Server = LoopbackHttpServer;
using Connection = Server::Connection;

struct Outcome {
    AjaxValue result, eventData;
    std::string sHeader = "caller", eventHeader;
    int events = 0;
};

Outcome Send(AjaxComm& comm, const std::string& parameter) {
    Outcome out;
    comm.DataReceived = [&](const AjaxValue& vData, const std::string& sHeader) {
        ++out.events;
        out.eventData = vData;
        out.eventHeader = sHeader;
    };
    out.result = comm.SendData(parameter, 1, out.sHeader);
    return out;
}

AjaxValue Text(const std::string& text) {
    return text;
}

std::string PathOf(const SeenRequest& request) {
    std::string line = request.Line();
    return line.substr(line.find(' ') + 1, line.rfind(' ') - line.find(' ') - 1);
}

class AjaxCommTest : public testing::Test {
  protected:
    void SetUp() override {
        setenv("no_proxy", "*", 1);
        net::http::OverrideHttpBounds(net::http::HttpBounds{2s, 500ms, 5s, 1024 * 1024});
    }
    void TearDown() override {
        net::http::OverrideHttpBounds(std::nullopt);
        net::http::OverrideHttpRequestFactory({});
    }
};

TEST_F(AjaxCommTest, SendData_SendsStandardMethodsInUpperCaseWithTheContentTypeAndBody) {
    Server server([](const SeenRequest&, const Connection& connection) {
        connection.Pause(50ms);  // so that an asynchronous request is still waiting at first
        connection.Write(Server::Answer("200 OK", "Content-Type: Text/Plain\r\n", "84.1.2.3\r\n"));
    });
    const std::tuple<const char*, bool, const char*, const char*> cases[] = {
        {"get", true, "GET /ip.php?a=1 HTTP/1.1", ""},
        {"post", true, "POST /ip.php?a=1 HTTP/1.1", "1"},
        {"Post", false, "POST /ip.php?a=1 HTTP/1.1", "1"},
        {"propfind", true, "propfind /ip.php?a=1 HTTP/1.1", "1"}};
    AjaxComm comm;
    comm.ServerAddress(server.Url("/ip"));
    comm.ContentType("TEXT");
    for (auto [method, async, line, body] : cases) {
        SCOPED_TRACE(method);
        comm.SendMethod(method);
        comm.Asynchronize(async);
        comm.Abort();  // nothing waits, so the next request must not notice
        Outcome out = Send(comm, ".php?a=1");
        SeenRequest seen = server.Requests().back();
        EXPECT_EQ(seen.Line(), line);
        EXPECT_TRUE(seen.Has("Content-Type: TEXT\r\n"));
        EXPECT_TRUE(seen.Has("User-Agent: Tovik ZARVOUpdater/" + platform::SystemName() + "-" +
                             platform::ProgramVersion() + " " + platform::build::SupportAddress));
        EXPECT_FALSE(seen.Has("Authorization:"));
        EXPECT_EQ(seen.body, body);
        EXPECT_EQ(out.result, Text("84.1.2.3\r\n"));
        EXPECT_EQ(out.sHeader, "Text/Plain");
        EXPECT_EQ(std::tie(out.events, out.eventData, out.eventHeader),
                  std::make_tuple(1, out.result, out.sHeader));
    }
    // The request object refuses the header; a completed exchange is read all the same, an
    // outstanding one is given up at once.
    comm.ContentType("TEXT\r\nX-Injected: 1");
    for (bool async : {false, true}) {
        comm.Asynchronize(async);
        Outcome out = Send(comm, ".php?a=1");
        EXPECT_FALSE(server.Requests().back().Has("X-Injected"));
        EXPECT_EQ(out.result, async ? AjaxValue() : Text("84.1.2.3\r\n")) << async;
    }
}

TEST_F(AjaxCommTest, SendData_GivesBytesOnlyForTheListedStreamTypesInAnyLetterCase) {
    const std::string tail = "84.1.2.3 \u00E4", sent = "\xFF" + tail;  // not UTF-8, then valid
    const std::tuple<const char*, const char*, bool> cases[] = {
        // nullptr: no such header
        {"200 OK", "text/xml", false},
        {"200 OK", "Text/Html", false},
        {"200 OK", "content-type=TEXT/xml", false},
        {"404 Not Found", "text/html; charset=utf-8", false},
        {"200 OK", "stream/binary", true},
        {"200 OK", "Stream/Binary; Charset=US-ASCII", true},
        {"500 Oops", "STREAM/BINARY; charset=utf-8", true},
        {"200 OK", "stream/binary;charset=utf-8", false},
        {"200 OK", "", false},
        {"200 OK", nullptr, false}};
    Server server([&](const SeenRequest& request, const Connection& connection) {
        auto [status, type, bytes] = cases[std::stoul(PathOf(request).substr(1))];
        std::string header = type ? "Content-Type: " + std::string(type) + "\r\n" : "";
        connection.Write(Server::Answer(status, header, sent));
    });
    AjaxComm comm;
    comm.ServerAddress(server.Url("/"));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        auto [status, type, bytes] = cases[i];
        SCOPED_TRACE(i);
        Outcome out = Send(comm, std::to_string(i));
        EXPECT_EQ(out.sHeader, type ? type : "");
        AjaxValue expected = bytes ? AjaxValue(std::vector<std::uint8_t>(sent.begin(), sent.end()))
                                   : Text("\uFFFD" + tail);
        EXPECT_EQ(std::tie(out.result, out.eventData), std::tie(expected, expected));
    }
}

TEST_F(AjaxCommTest, SendData_KeepsAChunkedBodyWhateverItsTrailersLookLike) {
    // libcurl itself refuses a trailer line without a colon, so these have one.
    const std::string trailers[] = {"HTTP/1.1 200: OK\r\n", "X-Sum: 1\r\n"};
    Server server([&](const SeenRequest& request, const Connection& connection) {
        connection.Write(
            "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked\r\n"
            "Trailer: X-Sum\r\nConnection: close\r\n\r\n3\r\n84.\r\n5\r\n1.2.3\r\n0\r\n" +
            trailers[std::stoul(PathOf(request).substr(1))] + "\r\n");
    });
    AjaxComm comm;
    comm.ServerAddress(server.Url("/"));
    for (std::size_t i = 0; i < std::size(trailers); ++i) {
        SCOPED_TRACE(trailers[i]);
        Outcome out = Send(comm, std::to_string(i));
        EXPECT_EQ(std::tie(out.result, out.sHeader),
                  std::make_tuple(Text("84.1.2.3"), "text/plain"));
    }
}

TEST_F(AjaxCommTest, SendData_OffersCredentialsOnlyWhenChallenged) {
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
        {"user", "Basic realm=\"zarvo\"", "Authorization: Basic dXNlcjpzZWNyZXQ=\r\n", "good"},
        {"user", "Digest realm=\"zarvo\", nonce=\"5ca1ab1e\", qop=\"auth\"",
         "Authorization: Digest username=\"user\", realm=\"zarvo\", nonce=\"5ca1ab1e\"", "good"},
        {"", "Basic realm=\"zarvo\"", nullptr, "badauth"}};
    for (auto [user, challenge, authorization, result] : cases) {
        SCOPED_TRACE(challenge);
        const std::string ask = "WWW-Authenticate: " + std::string(challenge) + "\r\n";
        Server server([&](const SeenRequest& request, const Connection& connection) {
            connection.Write(request.Has("Authorization:")
                                 ? Server::Answer("200 OK", "", "good")
                                 : Server::Answer("401 Unauthorized", ask, "badauth"));
        });
        AjaxComm comm;
        comm.ServerAddress(server.Url("/"));
        comm.UserName(user);
        comm.Password(*user ? "secret" : "");
        Outcome out = Send(comm, "nic/update?hostname=h&myip=1.2.3.4");
        std::vector<SeenRequest> seen = server.Requests();
        ASSERT_EQ(seen.size(), authorization ? 2u : 1u);
        EXPECT_FALSE(seen[0].Has("Authorization:"));
        EXPECT_TRUE(!authorization || seen[1].Has(authorization)) << seen.back().head;
        EXPECT_EQ(seen.back().body, "1");
        EXPECT_EQ(out.result, Text(result));
    }
}

TEST_F(AjaxCommTest, SendData_FollowsFiveRedirectsAndNeverTakesCredentialsElsewhere) {
    Server other([](const SeenRequest& request, const Connection& connection) {
        std::string ask = "WWW-Authenticate: Basic realm=\"x\"\r\n";
        connection.Write(request.Has("Authorization:")
                             ? Server::Answer("200 OK", "", "leaked")
                             : Server::Answer("401 Unauthorized", ask, "refused"));
    });
    Server server([&](const SeenRequest& request, const Connection& connection) {
        std::string path = PathOf(request);
        std::string target = path == "/loop"   ? path
                             : path == "/away" ? other.Url("/")
                             : path == "/hop0" ? ""
                                               : "/hop" + std::to_string(path[4] - '1');
        connection.Write(target.empty()
                             ? Server::Answer("200 OK", "", "84.1.2.3")
                             : Server::Answer("302 Found", "Location: " + target + "\r\n", ""));
    });
    const std::tuple<const char*, AjaxValue, const char*, std::size_t> cases[] = {
        {"/hop5", Text("84.1.2.3"), "", 6},
        {"/loop", AjaxValue(), "caller", 6},
        {"/away", Text("refused"), "", 1}};
    AjaxComm comm;
    comm.ServerAddress(server.Url(""));
    comm.UserName("user");
    comm.Password("secret");
    std::size_t before = 0;
    for (const auto& [path, result, sHeader, requests] : cases) {
        Outcome out = Send(comm, path);
        EXPECT_EQ(std::tie(out.result, out.sHeader), std::tie(result, sHeader)) << path;
        EXPECT_EQ(server.Requests().size() - before, requests) << path;
        before = server.Requests().size();
    }
    ASSERT_EQ(other.Requests().size(), 1u);
    EXPECT_FALSE(other.Requests()[0].Has("Authorization:"));
}

TEST_F(AjaxCommTest, SendData_RedirectedOnItsHostKeepsCredentialsAndTurnsPostIntoGetLikeABrowser) {
    Server server([&](const SeenRequest& request, const Connection& connection) {
        std::string path = PathOf(request);
        if (path.starts_with("/moved")) {
            connection.Write(Server::Answer(path.substr(6) + " Moved",
                                            "Location: /target" + path.substr(6) + "\r\n", ""));
        } else if (!request.Has("Authorization: Basic dXNlcjpzZWNyZXQ=")) {
            connection.Write(
                Server::Answer("401 Unauthorized", "WWW-Authenticate: Basic realm=\"x\"\r\n", ""));
        } else {
            connection.Write(Server::Answer("200 OK", "", request.Line() + " " + request.body));
        }
    });
    AjaxComm comm;
    comm.ServerAddress(server.Url("/"));
    comm.UserName("user");
    comm.Password("secret");
    const std::pair<const char*, const char*> cases[] = {
        {"moved302", "GET /target302 HTTP/1.1 "},
        {"moved303", "GET /target303 HTTP/1.1 "},
        {"moved307", "POST /target307 HTTP/1.1 1"},
        {"moved308", "POST /target308 HTTP/1.1 1"}};
    for (auto [path, answer] : cases) {
        EXPECT_EQ(Send(comm, path).result, Text(answer)) << path;
    }
}

TEST_F(AjaxCommTest, SendData_EndsEveryFailedExchangeEmptyWithinItsBounds) {
    const std::string chunk(64 * 1024, 'x');
    auto stream = [&](const Connection& connection, const std::string& head) {
        for (int i = 0; i < 1600 && connection.Write(i == 0 ? head : chunk); ++i) {
        }
    };
    Server silent([](const SeenRequest&, const Connection& connection) { connection.Pause(10s); });
    Server stalling([](const SeenRequest&, const Connection& connection) {
        connection.Write("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n84.") &&
            connection.Pause(10s);
    });
    Server huge([&](const SeenRequest&, const Connection& connection) {
        stream(connection, "HTTP/1.1 200 OK\r\nContent-Length: 104857600\r\n\r\n");
    });
    Server endless([&](const SeenRequest&, const Connection& connection) {
        stream(connection, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
    });
    Server hangup([](const SeenRequest&, const Connection& connection) {
        connection.Write("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n84.1.2.3");
    });
    int unused = socket(AF_INET, SOCK_STREAM, 0);  // bound but not listening: connections fail
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    bind(unused, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(unused, reinterpret_cast<sockaddr*>(&address), &length);
    std::string closed = "127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
    // Each failure leaves its cause, which names neither the URL nor its credentials.
    const std::pair<std::string, const char*> cases[] = {
        {silent.Url(), "No data moved for 500 ms"},
        {stalling.Url(), "No data moved for 500 ms"},
        {huge.Url(), "Maximum file size exceeded"},
        {endless.Url(), "Response body longer than 1048576 bytes"},
        {hangup.Url(), "transfer closed with 992 bytes remaining to read"},
        {"http://" + closed, "Failed to connect to 127.0.0.1 port"},
        {"https://" + closed, "Failed to connect to 127.0.0.1 port"},
        {closed, "URL not accepted: Unsupported URL scheme"},
        {"http://u:pw@" + closed + "a b", "URL not accepted: Bad path"},
        {"/ip.php", "URL not accepted: Bad scheme"},
        {"http://[fe80::1%25lo]/ip.php", "URL not accepted: zone id"}};
    AjaxComm comm;
    comm.SendMethod("get");
    for (const auto& [url, reason] : cases) {
        auto start = std::chrono::steady_clock::now();
        Outcome out = Send(comm, url);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3s) << url;
        EXPECT_EQ(std::tie(out.result, out.sHeader, out.events, out.eventData),
                  std::make_tuple(AjaxValue(), "caller", 1, AjaxValue()))
            << url;
        EXPECT_NE(comm.FailureReason().find(reason), std::string::npos)
            << url << ": " << comm.FailureReason();
        EXPECT_EQ(comm.FailureReason().find("pw"), std::string::npos) << comm.FailureReason();
    }
    Server answering([](const SeenRequest&, const Connection& connection) {
        connection.Write(Server::Answer("500 Oops", "", ""));
    });
    EXPECT_EQ(Send(comm, answering.Url()).result, Text(""));
    EXPECT_EQ(comm.FailureReason(), "") << "an answer of any status is no failure";
    close(unused);
}

TEST_F(AjaxCommTest, SendData_WithoutRequestObjectReturnsEmptyAndStillRaisesItsEvent) {
    net::http::OverrideHttpRequestFactory([] { return nullptr; });
    AjaxComm comm;
    Outcome out = Send(comm, "http://127.0.0.1/");
    EXPECT_EQ(std::tie(out.result, out.sHeader, out.events),
              std::make_tuple(AjaxValue(), "caller", 1));
    // Every later step fails too, for want of the object; the first cause is the one to read.
    EXPECT_EQ(comm.FailureReason(), "Cannot create the HTTP request object");
}

TEST_F(AjaxCommTest, TwoRequestsUnderWayAtOnceEachEndWithTheirOwnAnswer) {
    // As when a handler that runs during one request's wait sends another: the second ends
    // while the first one's answer, which comes first, waits unread.
    Server server([](const SeenRequest& request, const Connection& connection) {
        connection.Pause(request.Line().starts_with("GET /first") ? 200ms : 0ms);
        connection.Write(Server::Answer("200 OK", "", PathOf(request)));
    });
    net::http::OverrideHttpBounds(net::http::HttpBounds{2s, 2s, 5s, 1024});
    auto first = net::http::CreateCurlHttpRequest(), second = net::http::CreateCurlHttpRequest();
    first->open("GET", server.Url("/first"), true, "", "");
    first->send("");
    for (int turn = 0; turn < 100 && server.Requests().empty(); ++turn) {
        first->readyState();
        std::this_thread::sleep_for(10ms);
    }
    second->open("GET", server.Url("/second"), true, "", "");
    second->send("");
    for (int turn = 0; turn < 50 && second->readyState() != net::http::HttpRequest::Completed;
         ++turn) {
        second->wait();
    }
    EXPECT_EQ(second->responseText(), "/second");
    for (int turn = 0; turn < 50 && first->readyState() != net::http::HttpRequest::Completed;
         ++turn) {
        first->wait();
    }
    EXPECT_EQ(first->responseText(), "/first");
}

TEST_F(AjaxCommTest, Abort_FromASignalHandlerEndsTheWaitWhichSleepsMeanwhile) {
    // Created before any thread starts, so that every thread leaves SIGUSR1 to the signalfd.
    platform::EventLoop loop;
    AjaxComm comm;
    loop.OnRequest(platform::ServiceRequest::Pause, [&](int) { comm.Abort(); });
    Server silent([](const SeenRequest&, const Connection& connection) { connection.Pause(10s); });
    net::http::OverrideHttpBounds(net::http::HttpBounds{10s, 10s, 20s, 1024});
    std::thread raiser([] {
        std::this_thread::sleep_for(1s);
        kill(getpid(), SIGUSR1);
    });
    rusage before{}, after{};
    getrusage(RUSAGE_THREAD, &before);
    auto start = std::chrono::steady_clock::now();
    comm.ServerAddress(silent.Url("/"));
    Outcome out = Send(comm, "");
    auto waited = std::chrono::steady_clock::now() - start;
    getrusage(RUSAGE_THREAD, &after);
    raiser.join();
    EXPECT_EQ(std::tie(out.result, out.sHeader, out.events, out.eventData, out.eventHeader),
              std::make_tuple(AjaxValue(), "ABORT", 1, AjaxValue(), "ABORT"));
    EXPECT_TRUE(waited > 900ms && waited < 3s);
    auto cpu = [](const rusage& u) {
        return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e6 + u.ru_utime.tv_usec +
               u.ru_stime.tv_usec;
    };
    EXPECT_LT(cpu(after) - cpu(before), 100e3) << "microseconds of CPU while waiting";
}

}  // namespace
