#pragma once
// "/dev/rtp": the RTP driver's voice sessions. Each open may begin one
// session with its 44-byte parameters and then add its TDM switch channel:
// the driver hands out the lowest free channel of its range, or takes the
// one asked for when it is free. The descriptor delivers the session's
// 36-byte event records. A session keeps the number of every request made
// on it, in order, so tests see the input switching and the release
// sequence; its channel is free again once every descriptor of it is closed.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "simboard/device.h"
#include "simboard/file_session.h"

namespace SimBoard {

// The begin-session record as the driver reads it (board order on the wire).
struct RtpSessionParams {
  uint32_t dhost_addr;
  uint16_t dhost_port;
  uint16_t reserved1;
  uint32_t shost_addr;
  uint16_t shost_port;
  uint16_t rx_pt;
  uint16_t tx_pt;
  uint16_t packet_factor;
  uint8_t vad;
  uint8_t crate;
  uint16_t reserved2;
  uint32_t ssrc;
  uint32_t reserved3;
  uint32_t reserved4;
  uint32_t ttl;
  int32_t dscp;
};
static_assert(sizeof(RtpSessionParams) == 44, "driver layout");
static_assert(offsetof(RtpSessionParams, dhost_port) == 4 && offsetof(RtpSessionParams, shost_addr) == 8 &&
                  offsetof(RtpSessionParams, shost_port) == 12 && offsetof(RtpSessionParams, rx_pt) == 14 &&
                  offsetof(RtpSessionParams, tx_pt) == 16 && offsetof(RtpSessionParams, packet_factor) == 18 &&
                  offsetof(RtpSessionParams, vad) == 20 && offsetof(RtpSessionParams, crate) == 21 &&
                  offsetof(RtpSessionParams, ssrc) == 24 && offsetof(RtpSessionParams, ttl) == 36 &&
                  offsetof(RtpSessionParams, dscp) == 40,
              "driver layout");

// The add-channel record.
struct RtpChannelRecord {
  int32_t tdm;  // -1: any channel; the driver returns the one it gave
  int32_t dev_no;
  int32_t chn;
  uint32_t flags;
};
static_assert(sizeof(RtpChannelRecord) == 16 && offsetof(RtpChannelRecord, dev_no) == 4 &&
                  offsetof(RtpChannelRecord, chn) == 8 && offsetof(RtpChannelRecord, flags) == 12,
              "driver layout");

// The event record a read returns: type 1 is packet detection.
struct RtpEventRecord {
  uint32_t type;
  uint32_t value;
  uint32_t timeout;
  uint32_t reserved[6];
};
static_assert(sizeof(RtpEventRecord) == 36 && offsetof(RtpEventRecord, value) == 4 &&
                  offsetof(RtpEventRecord, timeout) == 8,
              "driver layout");

class Rtp;

class RtpSession : public FileSession {
public:
  RtpSession(uint64_t number, std::shared_ptr<OpenFile> file);

  uint64_t number() const { return number_; }  // order of opening among sessions, from 0
  bool begun() const { return begun_; }
  const RtpSessionParams& params() const { return params_; }
  int channel() const { return channel_; }  // -1 until added
  const RtpChannelRecord& channel_record() const { return channelRecord_; }  // as the daemon gave it
  bool input() const { return input_; }
  bool pd() const { return pd_; }
  uint32_t pd_timeout() const { return pdTimeout_; }
  // Every request that reached the session, in order (injected failures
  // are not seen here).
  const std::vector<unsigned long>& requests() const { return requests_; }

  // A record for the daemon to read: an event, or any bytes (a short or
  // empty record), or a failing read.
  void event(uint32_t type, uint32_t value, uint32_t timeout);
  void inject(const Bytes& record);
  void inject_read_error(int err);

private:
  friend class Rtp;

  uint64_t number_;
  bool begun_;
  RtpSessionParams params_;
  int channel_;
  RtpChannelRecord channelRecord_;
  bool input_;
  bool pd_;
  uint32_t pdTimeout_;
  std::vector<unsigned long> requests_;
};

class Rtp : public Device {
public:
  static constexpr unsigned long BeginSession = 0xC02C5200;  // RtpSessionParams, in/out
  static constexpr unsigned long AddChannel = 0xC0105202;    // RtpChannelRecord, in/out
  static constexpr unsigned long InputOn = 0x20005204;
  static constexpr unsigned long InputOff = 0x20005205;
  static constexpr unsigned long SetEvents = 0xC024520C;     // nine words: 1, 0, timeout, 0, 0, timeout, 0...
  static constexpr unsigned long ResetEvents = 0x8004520D;   // one word: 1 resets PD events
  static constexpr unsigned long Release1 = 0x2000520A;
  static constexpr unsigned long Release2 = 0x20005203;
  static constexpr unsigned long Release3 = 0x2000520B;
  static constexpr unsigned long AttachSession = 0xC0085209; // {fd, pid}
  static constexpr size_t KeptSessions = 256;                // closed ones beyond this go

  Rtp();

  // The channels the driver hands out: first .. first + count - 1
  // (4096 .. 5119 at first, clear of the other devices' channels).
  void set_channels(int first, int count);
  int first_channel() const { return first_; }
  int channel_count() const { return count_; }

  // Sessions in order of opening, closed ones included (see KeptSessions).
  size_t session_count() const { return sessions_.size(); }
  RtpSession& session(size_t index) { return *sessions_.at(index); }
  RtpSession& last() { return *sessions_.back(); }
  // The open session holding a channel, or null.
  RtpSession* by_channel(int channel);

  static Bytes event_record(uint32_t type, uint32_t value, uint32_t timeout);

protected:
  void opened(const std::shared_ptr<OpenFile>& file) override;
  void closed(OpenFile& file) override;

private:
  friend class RtpSession;
  using SessionHandler = std::function<int(RtpSession&, Request&)>;
  void on_session(unsigned long request, Arg form, SessionHandler handler);
  RtpSession* of(const OpenFile& file) const;

  std::vector<std::unique_ptr<RtpSession>> sessions_;
  std::unordered_map<const OpenFile*, RtpSession*> byFile_;  // open sessions
  std::unordered_map<int, RtpSession*> byChannel_;            // open sessions with a channel
  size_t closed_;                                             // closed sessions kept
  uint64_t opened_;
  int first_;
  int count_;
};

}  // namespace SimBoard
