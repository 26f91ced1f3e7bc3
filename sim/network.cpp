#include "network.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/veth.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr const char *station_if = "eth0";
constexpr const char *server_if = "server0";
constexpr const char *netmask = "255.255.255.0";
constexpr char marker_text[] = "station-sim marker ";

std::string failed(const char *what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// A netlink request, built attribute by attribute.
struct nl_request {
    std::vector<char> buf;
};

void nl_put(nl_request &r, const void *data, size_t len) {
    const char *p = static_cast<const char *>(data);
    r.buf.insert(r.buf.end(), p, p + len);
    r.buf.resize(NLMSG_ALIGN(r.buf.size()));
}

void nl_attr(nl_request &r, unsigned short type, const void *data, size_t len) {
    rtattr a{};
    a.rta_len = static_cast<unsigned short>(RTA_LENGTH(len));
    a.rta_type = type;
    r.buf.insert(r.buf.end(), reinterpret_cast<const char *>(&a),
                 reinterpret_cast<const char *>(&a) + sizeof a);
    nl_put(r, data, len);
}

size_t nl_nest(nl_request &r, unsigned short type) {
    size_t at = r.buf.size();
    nl_attr(r, type, nullptr, 0);
    return at;
}

void nl_end(nl_request &r, size_t at) {
    unsigned short len = static_cast<unsigned short>(r.buf.size() - at);
    std::memcpy(r.buf.data() + at + offsetof(rtattr, rta_len), &len, sizeof len);
}

// One veth pair: the station's interface with `mac` here, the server's in the
// namespace `peer_ns`.
net_result create_veth(const uint8_t mac[6], int peer_ns, std::string &why) {
    nl_request r;
    nlmsghdr h{};
    h.nlmsg_type = RTM_NEWLINK;
    h.nlmsg_flags = NLM_F_REQUEST | NLM_F_CREATE | NLM_F_EXCL | NLM_F_ACK;
    h.nlmsg_seq = 1;
    nl_put(r, &h, sizeof h);
    ifinfomsg ifi{};
    ifi.ifi_family = AF_UNSPEC;
    nl_put(r, &ifi, sizeof ifi);
    nl_attr(r, IFLA_IFNAME, station_if, std::strlen(station_if) + 1);
    nl_attr(r, IFLA_ADDRESS, mac, 6);
    size_t info = nl_nest(r, IFLA_LINKINFO);
    nl_attr(r, IFLA_INFO_KIND, "veth", 5);
    size_t data = nl_nest(r, IFLA_INFO_DATA);
    size_t peer = nl_nest(r, VETH_INFO_PEER);
    nl_put(r, &ifi, sizeof ifi);
    nl_attr(r, IFLA_IFNAME, server_if, std::strlen(server_if) + 1);
    uint32_t ns = static_cast<uint32_t>(peer_ns);
    nl_attr(r, IFLA_NET_NS_FD, &ns, sizeof ns);
    nl_end(r, peer);
    nl_end(r, data);
    nl_end(r, info);
    uint32_t total = static_cast<uint32_t>(r.buf.size());
    std::memcpy(r.buf.data() + offsetof(nlmsghdr, nlmsg_len), &total, sizeof total);

    int nl = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (nl < 0) {
        why = failed("netlink socket");
        return net_result::failed;
    }
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    bool ok = sendto(nl, r.buf.data(), r.buf.size(), 0, reinterpret_cast<sockaddr *>(&kernel),
                     sizeof kernel) == static_cast<ssize_t>(r.buf.size());
    if (!ok)
        why = failed("netlink request");
    alignas(nlmsghdr) char reply[1024];
    ssize_t got = ok ? recv(nl, reply, sizeof reply, 0) : -1;
    close(nl);
    if (!ok)
        return net_result::failed;
    const nlmsghdr *ack = reinterpret_cast<const nlmsghdr *>(reply);
    if (got < static_cast<ssize_t>(NLMSG_LENGTH(sizeof(nlmsgerr))) ||
        ack->nlmsg_type != NLMSG_ERROR) {
        why = "no answer from the kernel to the veth request";
        return net_result::failed;
    }
    int error = static_cast<const nlmsgerr *>(NLMSG_DATA(ack))->error;
    if (error != 0) {
        why = std::string("virtual network interfaces are not available here (veth: ") +
              std::strerror(-error) + ")";
        return net_result::unsupported;
    }
    return net_result::ok;
}

bool set_address(int sock, const char *ifname, unsigned long request, const char *address) {
    ifreq req{};
    std::strncpy(req.ifr_name, ifname, IFNAMSIZ - 1);
    sockaddr_in in{};
    in.sin_family = AF_INET;
    inet_pton(AF_INET, address, &in.sin_addr);
    std::memcpy(&req.ifr_addr, &in, sizeof in);
    return ioctl(sock, request, &req) == 0;
}

bool bring_up(int sock, const char *ifname) {
    ifreq req{};
    std::strncpy(req.ifr_name, ifname, IFNAMSIZ - 1);
    if (ioctl(sock, SIOCGIFFLAGS, &req) != 0)
        return false;
    req.ifr_flags = static_cast<short>(req.ifr_flags | IFF_UP);
    return ioctl(sock, SIOCSIFFLAGS, &req) == 0;
}

bool configure(int sock, const char *ifname, const char *address, std::string &why) {
    if (!set_address(sock, ifname, SIOCSIFADDR, address) ||
        !set_address(sock, ifname, SIOCSIFNETMASK, netmask) || !bring_up(sock, ifname)) {
        why = failed((std::string("configuring ") + ifname).c_str());
        return false;
    }
    return true;
}

sockaddr_in ipv4(const char *address, uint16_t port);

// The station knows the server's hardware address from the start: a report
// never waits for address resolution, which a fresh link may lose.
bool known_neighbour(int station_sock, int server_sock, std::string &why) {
    ifreq req{};
    std::strncpy(req.ifr_name, server_if, IFNAMSIZ - 1);
    arpreq arp{};
    sockaddr_in server = ipv4(server_address, 0);
    std::memcpy(&arp.arp_pa, &server, sizeof server);
    if (ioctl(server_sock, SIOCGIFHWADDR, &req) != 0) {
        why = failed("server's hardware address");
        return false;
    }
    arp.arp_ha = req.ifr_hwaddr;
    arp.arp_flags = ATF_PERM | ATF_COM;
    std::strncpy(arp.arp_dev, station_if, sizeof arp.arp_dev - 1);
    if (ioctl(station_sock, SIOCSARP, &arp) != 0) {
        why = failed("server's neighbour entry");
        return false;
    }
    return true;
}

sockaddr_in ipv4(const char *address, uint16_t port) {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(port);
    inet_pton(AF_INET, address, &in.sin_addr);
    return in;
}

std::string text(const in_addr &address, uint16_t port) {
    char buf[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &address, buf, sizeof buf);
    return std::string(buf) + ":" + std::to_string(port);
}

// The server's side, made inside its own namespace.
bool open_server(server_end &srv, int &ioctl_sock, std::string &why) {
    if (!loopback_up(why))
        return false;
    ioctl_sock = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    srv.capture_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int on = 1;
    sockaddr_in any = ipv4("0.0.0.0", report_port);
    if (ioctl_sock < 0 || srv.capture_fd < 0 ||
        setsockopt(srv.capture_fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0 ||
        bind(srv.capture_fd, reinterpret_cast<sockaddr *>(&any), sizeof any) != 0) {
        why = failed("server socket");
        return false;
    }
    return true;
}

} // namespace

bool loopback_up(std::string &why) {
    int sock = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    bool ok = sock >= 0 && bring_up(sock, "lo");
    if (!ok)
        why = failed("bringing the loopback up");
    if (sock >= 0)
        close(sock);
    return ok;
}

net_result build_network(const uint8_t mac[6], server_end &srv, std::string &why) {
    int station_ns = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    if (station_ns < 0 || unshare(CLONE_NEWNET) != 0) {
        why = failed("server namespace");
        return net_result::failed;
    }
    int server_ns = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    int server_sock = -1;
    bool ok = server_ns >= 0 && open_server(srv, server_sock, why);
    if (setns(station_ns, CLONE_NEWNET) != 0) {
        why = failed("back to the station namespace");
        ok = false;
    }
    net_result veth = ok ? create_veth(mac, server_ns, why) : net_result::failed;
    ok = veth == net_result::ok;

    int station_sock = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ok = ok && station_sock >= 0 && configure(station_sock, station_if, station_address, why) &&
         configure(server_sock, server_if, server_address, why);
    ok = ok && known_neighbour(station_sock, server_sock, why);

    srv.marker_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in any = ipv4("0.0.0.0", 0);
    socklen_t len = sizeof any;
    if (ok && (srv.marker_fd < 0 ||
               bind(srv.marker_fd, reinterpret_cast<sockaddr *>(&any), sizeof any) != 0 ||
               getsockname(srv.marker_fd, reinterpret_cast<sockaddr *>(&any), &len) != 0)) {
        why = failed("marker socket");
        ok = false;
    }
    srv.marker_port = ntohs(any.sin_port);
    for (int fd : {station_ns, server_ns, server_sock, station_sock})
        if (fd >= 0)
            close(fd);
    if (veth == net_result::unsupported)
        return veth;
    return ok ? net_result::ok : net_result::failed;
}

bool receive_datagram(const server_end &srv, datagram &out) {
    uint8_t buf[2048];
    sockaddr_in from{};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    iovec iov{buf, sizeof buf};
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t got = recvmsg(srv.capture_fd, &msg, 0);
    if (got < 0)
        return false;
    in_addr to{};
    for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c))
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO)
            to = reinterpret_cast<const in_pktinfo *>(CMSG_DATA(c))->ipi_addr;
    out.data.assign(buf, buf + got);
    out.from = text(from.sin_addr, ntohs(from.sin_port));
    out.to = text(to, report_port);
    std::string text(out.data.begin(), out.data.end());
    out.marker = ntohs(from.sin_port) == srv.marker_port && text.rfind(marker_text, 0) == 0;
    if (out.marker)
        out.marker_number = static_cast<uint32_t>(std::stoul(text.substr(sizeof marker_text - 1)));
    return true;
}

bool send_marker(const server_end &srv, uint32_t number) {
    sockaddr_in server = ipv4(server_address, report_port);
    std::string text = marker_text + std::to_string(number);
    ssize_t sent = sendto(srv.marker_fd, text.data(), text.size(), 0,
                          reinterpret_cast<sockaddr *>(&server), sizeof server);
    // A link that the kernel has not switched on yet refuses to send.
    return sent == static_cast<ssize_t>(text.size()) || errno == ENOBUFS || errno == EAGAIN;
}
