#include "server.h"

#include <arpa/inet.h>
#include <cctype>
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

bool open_name_server(server_end &srv, std::string &why) {
    srv.dns_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in any = ipv4("0.0.0.0", 53);
    if (srv.dns_fd < 0 || bind(srv.dns_fd, reinterpret_cast<sockaddr *>(&any), sizeof any) != 0) {
        why = std::string("name server socket: ") + std::strerror(errno);
        return false;
    }
    return true;
}

std::vector<uint8_t> dns_answer(const uint8_t *query, size_t len, const std::string &name) {
    constexpr size_t header = 12;
    // One question, and this is a query (QR clear, opcode 0).
    if (len < header + 5 || (query[2] & 0xF8) != 0 || query[4] != 0 || query[5] != 1)
        return {};
    std::string asked;
    size_t at = header;
    while (at < len && query[at] != 0) {
        size_t label = query[at];
        if (label > 63 || at + 1 + label >= len)
            return {};
        if (!asked.empty())
            asked += '.';
        for (size_t k = 0; k < label; k++)
            asked += static_cast<char>(std::tolower(query[at + 1 + k]));
        at += 1 + label;
    }
    if (at + 5 > len)
        return {};
    size_t question_end = at + 5; // the name's end, type and class
    unsigned type = query[at + 1] << 8 | query[at + 2];
    unsigned klass = query[at + 3] << 8 | query[at + 4];
    std::string wanted;
    for (char c : name)
        wanted += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!wanted.empty() && wanted.back() == '.')
        wanted.pop_back();
    bool known = asked == wanted;
    bool address = known && type == 1 && klass == 1;

    std::vector<uint8_t> out(query, query + question_end);
    out[2] = static_cast<uint8_t>(0x84 | (query[2] & 0x01)); // answer, authoritative, RD kept
    out[3] = known ? 0x80 : 0x83;                            // recursion available; NXDOMAIN
    for (int k = 6; k < 12; k++)
        out[k] = 0;
    if (address) {
        in_addr a{};
        inet_pton(AF_INET, server_address, &a);
        const uint8_t *bytes = reinterpret_cast<const uint8_t *>(&a.s_addr);
        out[7] = 1; // one answer: the name (a pointer to the question's), A, IN, 60 s
        static constexpr uint8_t record[] = {0xC0, 0x0C, 0, 1, 0, 1, 0, 0, 0, 60, 0, 4};
        out.insert(out.end(), record, record + sizeof record);
        out.insert(out.end(), bytes, bytes + 4);
    }
    return out;
}

void serve_queries(const server_end &srv, bool answering, const std::string &name) {
    uint8_t buf[512];
    sockaddr_in from{};
    socklen_t from_len = sizeof from;
    for (ssize_t got; (got = recvfrom(srv.dns_fd, buf, sizeof buf, 0,
                                      reinterpret_cast<sockaddr *>(&from), &from_len)) >= 0;
         from_len = sizeof from) {
        std::vector<uint8_t> answer =
            answering ? dns_answer(buf, static_cast<size_t>(got), name) : std::vector<uint8_t>{};
        // Lost like any datagram when it cannot be sent: the resolver asks again.
        if (!answer.empty())
            sendto(srv.dns_fd, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr *>(&from),
                   from_len);
    }
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
