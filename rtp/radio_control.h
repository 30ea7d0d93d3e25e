#pragma once
// A radio control: the engine beside one radio RTP slot that carries radio
// signalling in the RTP header extension of the slot's session. The RTP
// driver separates the extension payloads from the media and hands them
// over through a session of "/dev/rtp_ext"; this base opens, initialises,
// attaches, detaches and filters that session, watches it on the loop,
// runs the periodic status timer and builds the log prefix. The protocol
// controls derive from it and replace the receive and status hooks.
//
// The slot owning a control sees it as an IRadioController and receives
// its reports through IRadioControlNotify.
#include <arpa/inet.h>
#include <cstdint>
#include <netinet/in.h>
#include <string>
#include <sys/types.h>

#include "foundation/event.h"
#include "foundation/fd.h"
#include "foundation/inet4_addr.h"
#include "foundation/timer.h"
#include "hardware/rtp_records.h"
#include "messages/TERM/TERM.h"

namespace RTPSignalling {

// "/dev/rtp_ext"
const char* GetRtpExtDevName();

// What the slot asks of its control.
class IRadioController {
public:
  virtual ~IRadioController() = default;
  // True when the control took the controller's record.
  virtual bool SendASNToChan(TERM::RadioStatus const&) { return false; }
  virtual bool SendASNToChan(TERM::RadioModifier const&) { return false; }
  // The radio's squelch is open.
  virtual bool GetSQU() { return false; }
};

// The hooks of the protocol controls.
class IRadioIntController {
public:
  virtual ~IRadioIntController() = default;
  // The session's descriptor has poll events.
  virtual void OnRtpExtEvent(int, short) {}
  // A status tick at `now` (loop ms); returns the delay to the next one.
  virtual unsigned long ProcessRadioStatus(unsigned long, unsigned long interval) { return interval; }
};

// What the control reports to the slot that owns it.
class IRadioControlNotify {
public:
  virtual ~IRadioControlNotify() = default;
  virtual void RadioControlNotify(TERM::RtpRadioRequest const&) {}
  // A failure code (the ED-137 control reports a silent far end with 151).
  virtual void RadioControlNotify(int) {}
};

class RadioControl : public IRadioController, private IRadioIntController {
public:
  enum RadioControlType : uint32_t {
    ExtAttached = 0,  // own extension session attached to the slot's RTP session
    RtpAttached = 1,  // no own session: the slot's RTP session joins another one's extension stream
    ExtOnly = 2,      // own extension session, not attached
  };

  // Each runs Init: the session is started at once; a failed start leaves
  // the control without a session (logged).
  RadioControl(int id, const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init);
  explicit RadioControl(const rtp_ext_init_params& init);
  // Keeps a duplicate of the slot's "/dev/rtp" session.
  RadioControl(int id, const Fd& rtp, const rtp_attach_session_params& attach);
  // Releases the timer, the watch and the descriptors; does not detach.
  ~RadioControl() override;
  RadioControl(const RadioControl&) = delete;
  RadioControl& operator=(const RadioControl&) = delete;

  // Starts or stops the driver session (the slot stops and restarts it
  // around a codec change and stops it before it goes).
  bool RtpExtStart(bool newSession);
  bool RtpExtStop();
  // The slot's RTP session after a restart: the next start attaches to it
  // (a closed Fd drops the control's hold on the old one).
  void FollowSession(const Fd& session);

  // The status timer: on arms it with the interval, off cancels it. A new
  // interval takes effect at the next enable or tick.
  void SetTimerEnable(bool on);
  void SetTimerInterval(unsigned long ms) { interval_ = static_cast<uint32_t>(ms); }
  void SetTimer(unsigned long ms);

  // Limits the session to packets from `source` (set) or lifts the limit;
  // a session started later keeps the limit.
  void UpdateAccess(bool set, const in_addr& source);

  // "rtp_ext[" id "] " the time ":" ("rtp_ext " the time ":" without an id).
  const std::string& GetPrefix();

  // Set by the owner after construction.
  void SetNotify(IRadioControlNotify* notify) { notify_ = notify; }
  void SetTrace(bool on) { trace_ = on; }
  void SetRoleFlag(uint32_t role) { roleFlag_ = role; }

  uint32_t interval() const { return interval_; }
  bool timer_enabled() const { return timerEnabled_; }
  uint32_t role_flag() const { return roleFlag_; }
  bool trace() const { return trace_; }
  IRadioControlNotify* notify() const { return notify_; }
  const INet4::Addr& local_addr() const { return localAddr_; }

protected:
  // Writes the trace line of a read batch (POLLIN with the trace on).
  void OnRtpExtEvent(int fd, short revents) override;
  unsigned long ProcessRadioStatus(unsigned long now, unsigned long interval) override {
    return IRadioIntController::ProcessRadioStatus(now, interval);
  }

  // The longest payload read or written.
  static constexpr size_t PayloadRoom = 1024;

  // Reads the session dry: (control->*take)(payload, length, ssrc, address,
  // pending) for each payload, with the source the driver names for it
  // (address in network order); `pending` starts false and is the result.
  template <class Control>
  bool ReadBatch(Control* control,
                 void (Control::*take)(const uint8_t*, size_t, uint32_t, uint32_t, bool& pending)) {
    bool pending = false;
    uint8_t payload[PayloadRoom];
    for (ssize_t n; (n = ReadNext(payload, sizeof payload)) > 0;)
      (control->*take)(payload, static_cast<size_t>(n), uint32_t(source_.ssrc), htonl(source_.addr), pending);
    return pending;
  }
  // One payload to the session; false when there is none or the write fails.
  bool Write(const uint8_t* payload, size_t length);

  // to - from in loop milliseconds, 0 when `to` is before `from`.
  static uint32_t Since(uint32_t from, uint32_t to) {
    const int32_t d = static_cast<int32_t>(to - from);
    return d > 0 ? static_cast<uint32_t>(d) : 0;
  }
  // The delay to the next status tick when the oldest packet due went out
  // `age` ms ago: 10 ms after it is an interval old, else the interval.
  static unsigned long NextDelay(uint32_t age, unsigned long interval) {
    return age > 0 && age < interval ? interval - age + 10 : interval;
  }

  const rtp_ext_init_params& init_params() const { return extInit_; }
  uint32_t lastStatus_;  // loop ms of the last tick, send or received batch

private:
  // Asks the driver for the source of the next queued payload (the
  // request's result is not used), then reads that payload.
  ssize_t ReadNext(uint8_t* payload, size_t size);

  void Init(RadioControlType type);
  void OnProcessStatus(Timer*);
  // Opens and initialises a new session; a closed Fd after a logged failure.
  Fd OpenSession();
  void Fail(const char* what);
  // Gives the session the filter record (logged when refused).
  void SetFilter();

  RadioControlType type_;
  Fd rtpFd_;
  Fd extFd_;
  Event extEvent_;
  Timer statusTimer_;
  rtp_attach_session_params rtpAttach_;
  rtp_ext_attach_session_params extAttach_;
  rtp_ext_init_params extInit_;
  rtp_ext_next_source source_;
  uint32_t roleFlag_;
  uint32_t interval_;
  uint32_t id_;
  bool trace_;
  bool timerEnabled_;
  bool filterActive_;
  rtp_ext_filter_params filter_;
  IRadioControlNotify* notify_;
  std::string prefix_;
  INet4::Addr localAddr_;
};

}  // namespace RTPSignalling
