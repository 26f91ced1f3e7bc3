#include "datagram.h"

#include "fault.h"
#include "station_id.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

sockaddr_in servAddr;
sockaddr_in remoteServAddr;

namespace {

int sd = -1; // the datagram socket, negative when it could not be created
int rc;      // result of the last bind or send
bool server_known;

// The server's name while it is not resolved: when it was last looked up,
// how long to wait before the next look-up, and the child process doing the
// last one: its pid until it is reaped (-1 then), and the reading end of its
// pipe while its answer is awaited (-1 otherwise).
const char *server_host;
int64_t lookup_at_ms;
int32_t lookup_wait_ms;
pid_t lookup_pid = -1;
int lookup_fd = -1;
fault_run lookup_run; // a look-up that cannot be started

int64_t monotonic_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void know_server(const in_addr &address) {
    remoteServAddr = sockaddr_in{};
    remoteServAddr.sin_family = AF_INET;
    remoteServAddr.sin_addr = address;
    remoteServAddr.sin_port = htons(report_port);
    server_known = true;
}

// The child: the look-up, its answer (four bytes, or none) into the pipe.
// It dies with the program, and never touches the program's stdio buffers.
[[noreturn]] void look_up_in_child(pid_t parent, int answer_fd) {
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent)
        _exit(1); // the program may be gone already, and nothing would end this
    in_addr address;
    bool found = resolve_host(server_host, address);
    // A write fails only when the program has closed its end: nothing to do.
    if (found && write(answer_fd, &address, sizeof address) != sizeof address)
        _exit(1);
    _exit(0);
}

void start_lookup() {
    int fds[2];
    pid_t pid = -1;
    int error = pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0 ? 0 : errno;
    if (error == 0) {
        pid_t parent = getpid();
#ifdef STATION_HAVE_FORK_WITHOUT_HANDLERS
        pid = _Fork(); // one thread: no atfork handlers or locks to mind
#else
        pid = fork();
#endif
        if (pid == 0)
            look_up_in_child(parent, fds[1]);
        error = pid < 0 ? errno : 0;
        close(fds[1]); // the child's end: nothing was written here
        if (pid < 0)
            close(fds[0]);
    }
    if (starts_run(lookup_run, error))
        fprintf(stderr, "gustlink: cannot look up server host %s: %s\n", server_host,
                strerror(error));
    if (error == 0) {
        lookup_pid = pid;
        lookup_fd = fds[0];
    }
}

// Takes the child's answer: four bytes, or its pipe closed empty when the
// name gave no address. One that has not answered when the next look-up is
// due is ended. Either way the child is killed (it may still be leaving) and
// reaped by follow_lookup() in a later cycle: waiting here for its end would
// hold the cycle until a loaded machine gets round to it.
void take_answer() {
    in_addr address;
    ssize_t got = read(lookup_fd, &address, sizeof address);
    bool waiting = got < 0 && (errno == EAGAIN || errno == EINTR);
    if (waiting && !lookup_due(lookup_at_ms, monotonic_ms(), lookup_wait_ms))
        return;
    close(lookup_fd); // read only: nothing to lose
    lookup_fd = -1;
    if (got == sizeof address)
        know_server(address);
    // Unreaped, the child's pid cannot be another process's yet.
    if (kill(lookup_pid, SIGKILL) != 0)
        fprintf(stderr, "gustlink: cannot end look-up %d: %s\n", static_cast<int>(lookup_pid),
                strerror(errno));
}

} // namespace

void build_report(uint8_t out[report_size], const char *id, int spd, int dir) {
    memset(out, 0, report_size);
    memcpy(out, id, 13);
    out[13] = static_cast<uint8_t>(spd);
    out[14] = static_cast<uint8_t>(dir / 256);
    out[15] = static_cast<uint8_t>(dir % 256);
}

void open_endpoint(const char *host, int32_t retry_ms) {
    sd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sd < 0) {
        int error = errno;
        printf("%d: cannot open socket \n", report_port);
        fprintf(stderr, "gustlink: %d: cannot open socket: %s\n", report_port, strerror(error));
    }

    servAddr = sockaddr_in{};
    servAddr.sin_family = AF_INET;
    servAddr.sin_addr.s_addr = htonl(INADDR_ANY);
    servAddr.sin_port = htons(report_port);
    rc = bind(sd, reinterpret_cast<sockaddr *>(&servAddr), sizeof servAddr);
    if (rc < 0) {
        int error = errno;
        printf("%d: cannot bind port number %d \n", report_port, report_port);
        fprintf(stderr, "gustlink: %d: cannot bind port number %d: %s\n", report_port, report_port,
                strerror(error));
    }

    remoteServAddr = sockaddr_in{};
    server_host = host;
    lookup_wait_ms = retry_ms;
    in_addr address;
    if (resolve_host(server_host, address)) {
        know_server(address);
        return;
    }
    // Said once: the look-ups that follow fail in the same way until one
    // succeeds, and the system log is small.
    fprintf(stderr, "gustlink: cannot resolve server host %s\n", host);
    lookup_at_ms = monotonic_ms();
}

void follow_lookup() {
    if (lookup_pid > 0) {
        if (lookup_fd >= 0)
            take_answer();
        if (lookup_fd >= 0)
            return;
        // ECHILD: reaped already, where SIGCHLD was handed down ignored.
        pid_t reaped = waitpid(lookup_pid, nullptr, WNOHANG);
        if (reaped == 0 || (reaped < 0 && errno != ECHILD))
            return; // still leaving
        lookup_pid = -1;
    }
    if (server_known || server_host == nullptr)
        return;
    int64_t now = monotonic_ms();
    if (lookup_due(lookup_at_ms, now, lookup_wait_ms)) {
        lookup_at_ms = now;
        start_lookup();
    }
}

int send_wind(int spd, int dir) {
    uint8_t report[report_size];
    build_report(report, maddr, spd, dir);
    rc = -1;
    if (server_known)
        rc = static_cast<int>(sendto(sd, report, sizeof report, 0,
                                     reinterpret_cast<const sockaddr *>(&remoteServAddr),
                                     sizeof remoteServAddr));
    if (rc < 0)
        printf("Error: cannot send: %d\n", rc);
    printf("sent spd:%d dir:%d\n", spd, dir);
    return 0;
}
