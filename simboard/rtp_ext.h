#pragma once
// "/dev/rtp_ext": the RTP header-extension sessions of the RTP driver. Each
// open is one session: it is initialised with the extension's profile
// identifier and four driver words, attached to an open "/dev/rtp" session,
// and may be limited to one source address. The driver queues the
// extension payloads that arrive, one per read, and tells the source
// (SSRC and address) of the one the next read returns; every write sends
// one payload.
//
// Addresses are numbers whose big-endian bytes are the address, as in the
// driver's records.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "simboard/device.h"
#include "simboard/file_session.h"

namespace SimBoard {

// What the daemon's records hold.
struct RtpExtInitRecord {
  uint16_t etype = 0;
  uint32_t words[4] = {0, 0, 0, 0};
};

class RtpExtSession : public FileSession {
public:
  RtpExtSession(uint64_t number, std::shared_ptr<OpenFile> file);

  uint64_t number() const { return number_; }  // 0 for the first session opened

  // Set by the requests.
  bool initialised() const { return initialised_; }
  const RtpExtInitRecord& init() const { return init_; }
  bool attached() const { return attached_; }
  int32_t attached_fd() const { return attachedFd_; }    // as the record named it
  int32_t attached_pid() const { return attachedPid_; }
  uint64_t attached_file() const { return attachedFile_; }  // the "/dev/rtp" open it named (OpenFile::id)
  unsigned detaches() const { return detaches_; }
  bool filtered() const { return filtered_; }
  uint32_t filter_address() const { return filterAddress_; }

  // An extension payload from a source; false when the session's filter
  // drops it. Queued for the daemon's reads.
  bool inject(uint32_t ssrc, uint32_t address, const Bytes& payload);
  // Payloads the daemon has not read yet.
  size_t queued() const;

private:
  friend class RtpExt;
  struct Source {
    uint32_t ssrc;
    uint32_t address;
  };
  // Drops the sources of the payloads the daemon has read.
  void forget_read();

  uint64_t number_;
  bool initialised_;
  RtpExtInitRecord init_;
  bool attached_;
  int32_t attachedFd_;
  int32_t attachedPid_;
  uint64_t attachedFile_;
  unsigned detaches_;
  bool filtered_;
  uint32_t filterAddress_;
  std::deque<Source> sources_;  // of the queued payloads, in order
  uint64_t injected_;
};

class RtpExt : public Device {
public:
  static constexpr unsigned long Init = 0xC0144500;        // 20 bytes: etype, 0, four words
  static constexpr unsigned long Attach = 0xC0084501;      // {fd of the "/dev/rtp" session, owner tag}
  static constexpr unsigned long Detach = 0x20004502;      // no data
  static constexpr unsigned long NextSource = 0xC00C4503;  // -> {ssrc, address, 0}
  static constexpr unsigned long Filter = 0xC0084504;      // {address, 0}
  static constexpr unsigned long Unfilter = 0x20004505;    // no data

  RtpExt();

  // Sessions in order of opening, closed ones included (the oldest closed
  // ones go once more than KeptSessions are held).
  size_t session_count() const { return sessions_.size(); }
  RtpExtSession& session(size_t index) { return *sessions_.at(index); }
  RtpExtSession* latest() { return sessions_.empty() ? nullptr : sessions_.back().get(); }
  // The session of that number, if still held.
  RtpExtSession* by_number(uint64_t number) const;

  // A record of the SSRC (4 bytes), the source address (4 bytes) and the
  // payload goes to every open initialised session, through its filter;
  // the number of sessions that queued it.
  size_t inject(const Bytes& record) override;

  static constexpr size_t KeptSessions = 256;

  // Called with each payload the daemon writes, as the session takes it.
  using SentHook = std::function<void(const RtpExtSession&, const Bytes&)>;
  void on_sent(SentHook hook) { onSent_ = std::move(hook); }

protected:
  void opened(const std::shared_ptr<OpenFile>& file) override;
  void closed(OpenFile& file) override;
  void received(OpenFile& file, Bytes&& payload) override;

private:
  friend class RtpExtSession;
  RtpExtSession* of(const OpenFile& file) const { return session_of(sessions_, file); }

  std::vector<std::unique_ptr<RtpExtSession>> sessions_;
  uint64_t opened_;
  SentHook onSent_;
};

}  // namespace SimBoard
