#pragma once
// The records the local authentication client and the daemon exchange over
// the relay connection: 32-bit words in the host's byte order, each record
// starting with its size in bytes, its type and its session (the modem
// number of the slot it belongs to).
#include <cstddef>
#include <cstdint>

struct attr {
  uint32_t size;
  uint32_t type;
  uint32_t session;
};

enum AuthRecordType : uint32_t { AuthRequest = 1, AuthAccept = 2, AuthIp = 3, AuthAccounting = 4 };

// Client to daemon: a user's name and password, each ending at its first
// zero byte or filling its field.
struct voauth {
  attr head;
  char username[64];
  char password[64];
};

// Client to daemon: the session's counters, 64-bit values high word first.
struct voacct {
  attr head;
  uint32_t unused1[3];
  uint32_t octetsOut[2];
  uint32_t octetsIn[2];
  uint32_t packetsOut[2];
  uint32_t packetsIn[2];
  uint32_t time;
  uint32_t unused2;
};

// Daemon to client: the user is accepted.
struct auth_accept {
  attr head;
  uint32_t value;
};

// Daemon to client: the addresses to configure, in network byte order.
struct auth_ip {
  attr head;
  uint32_t zero;
  uint32_t remote;
  uint32_t netmask;
  uint32_t gateway;
  uint32_t dns;
  uint32_t mtu;
};

// The smallest record that holds the whole header, and the largest one.
constexpr uint32_t AuthRecordMin = sizeof(attr);
constexpr uint32_t AuthRecordMax = 512;

static_assert(sizeof(attr) == 12, "record header");
static_assert(sizeof(voauth) == 140 && offsetof(voauth, password) == 76, "auth request layout");
static_assert(sizeof(voacct) == 64 && offsetof(voacct, octetsOut) == 24 && offsetof(voacct, packetsIn) == 48 &&
                  offsetof(voacct, time) == 56,
              "accounting layout");
static_assert(sizeof(auth_accept) == 16, "auth accept layout");
static_assert(sizeof(auth_ip) == 36 && offsetof(auth_ip, remote) == 16 && offsetof(auth_ip, mtu) == 32,
              "auth ip layout");

// A whole record of any type, as it is received.
union AuthRecordBuffer {
  attr head;
  voauth auth;
  voacct acct;
  uint32_t words[AuthRecordMax / 4];
  unsigned char bytes[AuthRecordMax];
};
