#include "network.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <net/if.h>
#include <netlink/netlink.h>
#include <netlink/route/addr.h>
#include <netlink/route/link.h>
#include <netlink/route/link/veth.h>
#include <netlink/route/neighbour.h>
#include <sched.h>
#include <unistd.h>

namespace {

constexpr const char *station_if = "eth0";
constexpr const char *server_if = "server0";
constexpr int prefix_length = 24;
constexpr const char *subnet_broadcast = "192.0.2.255";

template <typename T, void (*release)(T *)> struct releaser {
    void operator()(T *p) const { release(p); }
};
using nl_socket = std::unique_ptr<nl_sock, releaser<nl_sock, nl_socket_free>>;
using link_ref = std::unique_ptr<rtnl_link, releaser<rtnl_link, rtnl_link_put>>;
using addr_ref = std::unique_ptr<nl_addr, releaser<nl_addr, nl_addr_put>>;
using ifaddr_ref = std::unique_ptr<rtnl_addr, releaser<rtnl_addr, rtnl_addr_put>>;
using neigh_ref = std::unique_ptr<rtnl_neigh, releaser<rtnl_neigh, rtnl_neigh_put>>;

std::string failed(const std::string &what, int nl_error) {
    return what + ": " + nl_geterror(nl_error);
}

// A route socket of the current network namespace: a netlink socket stays
// with the namespace it was made in.
nl_socket route_socket(std::string &why) {
    nl_socket sk(nl_socket_alloc());
    int err = sk ? nl_connect(sk.get(), NETLINK_ROUTE) : -NLE_NOMEM;
    if (err < 0) {
        why = failed("netlink socket", err);
        return nullptr;
    }
    return sk;
}

addr_ref address(const char *text, int family, std::string &why) {
    nl_addr *a = nullptr;
    int err = nl_addr_parse(text, family, &a);
    if (err < 0)
        why = failed(std::string("address ") + text, err);
    return addr_ref(a);
}

bool link_up(nl_sock *sk, const char *name, std::string &why) {
    rtnl_link *found = nullptr;
    int err = rtnl_link_get_kernel(sk, 0, name, &found);
    link_ref current(found);
    link_ref change(rtnl_link_alloc());
    if (err >= 0 && !change)
        err = -NLE_NOMEM;
    if (err >= 0) {
        rtnl_link_set_flags(change.get(), IFF_UP);
        err = rtnl_link_change(sk, current.get(), change.get(), 0);
    }
    if (err < 0)
        why = failed(std::string("bringing ") + name + " up", err);
    return err >= 0;
}

int index_of(nl_sock *sk, const char *name, std::string &why) {
    rtnl_link *found = nullptr;
    int err = rtnl_link_get_kernel(sk, 0, name, &found);
    link_ref link(found);
    if (err < 0) {
        why = failed(name, err);
        return 0;
    }
    return rtnl_link_get_ifindex(link.get());
}

// One veth pair: the station's interface with `mac` here, the server's in the
// namespace `peer_ns`.
net_result create_veth(nl_sock *sk, const uint8_t mac[6], int peer_ns, std::string &why) {
    link_ref link(rtnl_link_veth_alloc());
    addr_ref hw(nl_addr_build(AF_LLC, mac, 6));
    if (!link || !hw) {
        why = failed("veth", -NLE_NOMEM);
        return net_result::failed;
    }
    rtnl_link_set_name(link.get(), station_if);
    rtnl_link_set_addr(link.get(), hw.get());
    link_ref peer(rtnl_link_veth_get_peer(link.get()));
    rtnl_link_set_name(peer.get(), server_if);
    rtnl_link_set_ns_fd(peer.get(), peer_ns);
    int err = rtnl_link_add(sk, link.get(), NLM_F_CREATE | NLM_F_EXCL);
    if (err < 0) {
        why = failed("virtual network interfaces are not available here (veth)", err);
        return net_result::unsupported;
    }
    return net_result::ok;
}

// The interface's address with its /24 prefix (the kernel adds the subnet's
// route with it), then the interface up.
bool configure(nl_sock *sk, const char *ifname, const std::string &local, std::string &why) {
    int index = index_of(sk, ifname, why);
    addr_ref a = address(local.c_str(), AF_INET, why);
    addr_ref broadcast = address(subnet_broadcast, AF_INET, why);
    ifaddr_ref ifa(rtnl_addr_alloc());
    if (index == 0 || !a || !broadcast || !ifa)
        return false;
    rtnl_addr_set_ifindex(ifa.get(), index);
    rtnl_addr_set_local(ifa.get(), a.get());
    rtnl_addr_set_broadcast(ifa.get(), broadcast.get());
    int err = rtnl_addr_add(sk, ifa.get(), 0);
    if (err < 0) {
        why = failed(std::string("configuring ") + ifname, err);
        return false;
    }
    return link_up(sk, ifname, why);
}

// The station knows the server's hardware address from the start: a report
// never waits for address resolution, which a fresh link may lose.
bool known_neighbour(nl_sock *station, nl_sock *server, std::string &why) {
    rtnl_link *found = nullptr;
    int err = rtnl_link_get_kernel(server, 0, server_if, &found);
    link_ref server_link(found);
    if (err < 0) {
        why = failed("server's hardware address", err);
        return false;
    }
    int index = index_of(station, station_if, why);
    addr_ref dst = address(server_address, AF_INET, why);
    neigh_ref n(rtnl_neigh_alloc());
    if (index == 0 || !dst || !n)
        return false;
    rtnl_neigh_set_ifindex(n.get(), index);
    rtnl_neigh_set_dst(n.get(), dst.get());
    rtnl_neigh_set_lladdr(n.get(), rtnl_link_get_addr(server_link.get()));
    rtnl_neigh_set_state(n.get(), NUD_PERMANENT);
    err = rtnl_neigh_add(station, n.get(), NLM_F_CREATE | NLM_F_REPLACE);
    if (err < 0) {
        why = failed("server's neighbour entry", err);
        return false;
    }
    return true;
}

std::string with_prefix(const char *address_text) {
    return std::string(address_text) + "/" + std::to_string(prefix_length);
}

// The server's namespace, made and left again; its route socket and capture
// socket stay with it.
bool server_namespace(int &server_ns, nl_socket &server_sk, server_end &srv, std::string &why) {
    int station_ns = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    if (station_ns < 0 || unshare(CLONE_NEWNET) != 0) {
        why = std::string("server namespace: ") + std::strerror(errno);
        if (station_ns >= 0)
            close(station_ns);
        return false;
    }
    server_ns = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    bool ok = server_ns >= 0;
    if (!ok)
        why = std::string("server namespace: ") + std::strerror(errno);
    ok = ok && (server_sk = route_socket(why)) && link_up(server_sk.get(), "lo", why) &&
         open_capture(srv, why) && open_name_server(srv, why);
    if (setns(station_ns, CLONE_NEWNET) != 0) {
        why = std::string("back to the station namespace: ") + std::strerror(errno);
        ok = false;
    }
    close(station_ns);
    return ok;
}

} // namespace

bool loopback_up(std::string &why) {
    nl_socket sk = route_socket(why);
    return sk && link_up(sk.get(), "lo", why);
}

net_result build_network(const uint8_t mac[6], server_end &srv, std::string &why) {
    nl_socket station_sk = route_socket(why);
    if (!station_sk)
        return net_result::failed;
    int server_ns = -1;
    nl_socket server_sk;
    bool ok = server_namespace(server_ns, server_sk, srv, why);
    net_result veth = ok ? create_veth(station_sk.get(), mac, server_ns, why) : net_result::failed;
    if (server_ns >= 0)
        close(server_ns);
    if (veth != net_result::ok)
        return veth;
    ok = configure(station_sk.get(), station_if, with_prefix(station_address), why) &&
         configure(server_sk.get(), server_if, with_prefix(server_address), why) &&
         known_neighbour(station_sk.get(), server_sk.get(), why) && open_marker(srv, why);
    return ok ? net_result::ok : net_result::failed;
}
