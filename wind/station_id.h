// Station identifier: the hardware address of the first network interface
// that is not a loopback, as twelve lowercase hex digits.
#pragma once

#include <cstddef>
#include <cstdint>

struct ifreq;

// The identifier text; all zero until an address has been found.
extern char maddr[255];

// Finds the hardware address through the kernel's interface list and copies
// its 6 bytes to `dst`. Returns 0, or -1 (leaving `dst` alone) when no
// interface qualifies or the list cannot be had.
int mac_addr_sys(uint8_t *dst);

// Records the kernel says it filled: `ifc_len` bytes of records of `record`
// bytes each, but never more than the `capacity` the list has room for, and
// none for a negative length.
size_t listed_interfaces(int ifc_len, size_t record, size_t capacity);

// One interface request on socket `sd`, as ioctl() makes it.
using ifreq_query = int (*)(int sd, unsigned long request, ifreq *req);

// Walks `count` interface records in order and copies the hardware address of
// the first one whose flags can be read, that is not a loopback, and whose
// address can be read. Returns 0, or -1 when none qualifies.
int pick_interface(int sd, const ifreq *list, size_t count, ifreq_query query, uint8_t *dst);

// "001a2b3c4d5e" for the address 00 1A 2B 3C 4D 5E.
void format_station_id(const uint8_t addr[6], char *out, size_t size);
