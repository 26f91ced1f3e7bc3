#include "server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr char marker_text[] = "station-sim marker ";

sockaddr_in ipv4(const char *address, uint16_t port) {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(port);
    inet_pton(AF_INET, address, &in.sin_addr); // literal addresses, always valid
    return in;
}

std::string text(const in_addr &address, uint16_t port) {
    char buf[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &address, buf, sizeof buf);
    return std::string(buf) + ":" + std::to_string(port);
}

} // namespace

bool open_capture(server_end &srv, std::string &why) {
    srv.capture_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int on = 1;
    sockaddr_in any = ipv4("0.0.0.0", report_port);
    if (srv.capture_fd < 0 ||
        setsockopt(srv.capture_fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0 ||
        bind(srv.capture_fd, reinterpret_cast<sockaddr *>(&any), sizeof any) != 0) {
        why = std::string("server socket: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool open_marker(server_end &srv, std::string &why) {
    srv.marker_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in any = ipv4("0.0.0.0", 0);
    socklen_t len = sizeof any;
    if (srv.marker_fd < 0 ||
        bind(srv.marker_fd, reinterpret_cast<sockaddr *>(&any), sizeof any) != 0 ||
        getsockname(srv.marker_fd, reinterpret_cast<sockaddr *>(&any), &len) != 0) {
        why = std::string("marker socket: ") + std::strerror(errno);
        return false;
    }
    srv.marker_port = ntohs(any.sin_port);
    return true;
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
    std::string body(out.data.begin(), out.data.end());
    out.marker = ntohs(from.sin_port) == srv.marker_port && body.rfind(marker_text, 0) == 0;
    out.marker_number = 0;
    if (out.marker)
        out.marker_number =
            static_cast<uint32_t>(std::strtoul(body.c_str() + sizeof marker_text - 1, nullptr, 10));
    return true;
}

bool send_marker(const server_end &srv, uint32_t number) {
    sockaddr_in server = ipv4(server_address, report_port);
    std::string body = marker_text + std::to_string(number);
    ssize_t sent = sendto(srv.marker_fd, body.data(), body.size(), 0,
                          reinterpret_cast<sockaddr *>(&server), sizeof server);
    // A link that the kernel has not switched on yet refuses to send.
    return sent == static_cast<ssize_t>(body.size()) || errno == ENOBUFS || errno == EAGAIN;
}
