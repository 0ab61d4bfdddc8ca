#include <linux/if_addr.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/InterfaceAddress.h"
#include "platform/RuntimeError.h"

namespace platform {

namespace {

class NetlinkSocket {
  public:
    NetlinkSocket() : fd_(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE)) {
        if (fd_ < 0) {
            throw errors::SystemCallError("socket", errno);
        }
    }
    ~NetlinkSocket() { close(fd_); }
    NetlinkSocket(const NetlinkSocket&) = delete;
    NetlinkSocket& operator=(const NetlinkSocket&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

void RequestAddressDump(int fd) {
    struct {
        nlmsghdr header;
        ifaddrmsg body;
    } request{};
    request.header.nlmsg_len = sizeof(request);
    request.header.nlmsg_type = RTM_GETADDR;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.body.ifa_family = AF_INET6;
    // The kernel answers a dump at once; the bound only guards against one that never ends.
    timeval bound{5, 0};
    if (setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof(bound)) != 0) {
        throw errors::SystemCallError("setsockopt", errno);
    }
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (sendto(fd, &request, sizeof(request), 0, reinterpret_cast<sockaddr*>(&kernel),
               sizeof(kernel)) < 0) {
        throw errors::SystemCallError("sendto", errno);
    }
}

// The 8-bit flags field filled up long ago; newer flags, and all of them again, come in
// IFA_FLAGS. Static addresses carry no ageing, and their lifetimes read as forever.
InterfaceAddress FromMessage(const nlmsghdr* header, bool& found) {
    const auto* message = static_cast<const ifaddrmsg*>(NLMSG_DATA(header));
    InterfaceAddress address;
    address.preferredLifetime = InterfaceAddress::kForever;
    std::uint32_t flags = message->ifa_flags;
    found = false;
    int length = static_cast<int>(IFA_PAYLOAD(header));
    for (const rtattr* attribute = IFA_RTA(message); RTA_OK(attribute, length);
         attribute = RTA_NEXT(attribute, length)) {
        const void* data = RTA_DATA(attribute);
        const auto size = RTA_PAYLOAD(attribute);
        if (attribute->rta_type == IFA_ADDRESS && size == address.bytes.size()) {
            std::memcpy(address.bytes.data(), data, size);
            found = true;
        } else if (attribute->rta_type == IFA_FLAGS && size == sizeof(flags)) {
            std::memcpy(&flags, data, size);
        } else if (attribute->rta_type == IFA_CACHEINFO && size == sizeof(ifa_cacheinfo)) {
            ifa_cacheinfo lifetimes;
            std::memcpy(&lifetimes, data, size);
            address.preferredLifetime = lifetimes.ifa_prefered;
        }
    }
    found = found && message->ifa_family == AF_INET6;
    address.temporary = (flags & IFA_F_TEMPORARY) != 0;
    address.deprecated = (flags & IFA_F_DEPRECATED) != 0;
    address.tentative = (flags & (IFA_F_TENTATIVE | IFA_F_DADFAILED)) != 0;
    return address;
}

}  // namespace

std::vector<InterfaceAddress> InterfaceIPv6Addresses() {
    NetlinkSocket socket;
    RequestAddressDump(socket.get());
    std::vector<InterfaceAddress> addresses;
    alignas(nlmsghdr) char buffer[32768];
    for (;;) {
        ssize_t received = recv(socket.get(), buffer, sizeof(buffer), 0);
        if (received < 0) {
            throw errors::SystemCallError("recv", errno);
        }
        if (received == 0) {
            throw errors::InternalError("the kernel ended the address list early");
        }
        auto left = static_cast<unsigned>(received);
        for (auto* header = reinterpret_cast<const nlmsghdr*>(buffer); NLMSG_OK(header, left);
             header = NLMSG_NEXT(header, left)) {
            if (header->nlmsg_type == NLMSG_DONE) {
                return addresses;
            }
            if (header->nlmsg_type == NLMSG_ERROR) {
                const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(header));
                throw errors::SystemCallError("RTM_GETADDR", -error->error);
            }
            bool found = false;
            InterfaceAddress address = FromMessage(header, found);
            if (header->nlmsg_type == RTM_NEWADDR && found) {
                addresses.push_back(address);
            }
        }
    }
}

}  // namespace platform
