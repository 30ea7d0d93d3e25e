#pragma once
// HDLC frame channels. GenericHDLC is what link layers send through; HDLC
// is one channel of the board's multi-channel controller ("/dev/mcc/ctl"),
// wired to a line time slot through the TDM switch, moving one frame per
// read and per write and telling its owner about received frames, read
// failures and readiness to send.
#include <cstdint>
#include <ostream>

#include "foundation/event.h"
#include "foundation/frame_intake.h"
#include "foundation/packet.h"

class GenericHDLC {
public:
  virtual ~GenericHDLC() = default;
  // True when the channel took the frame (an empty frame is taken as sent).
  virtual bool hdlc_transmit(Packet& frame) = 0;
  virtual bool is_open() const = 0;
  virtual bool is_ready() const = 0;
};

class HDLC : public GenericHDLC {
public:
  class Notify {
  public:
    struct Cause {
      enum Type { ReadError = 0 };
    };
    virtual ~Notify() = default;
    virtual void on_hdlc_receive(Packet& frame) = 0;
    virtual void on_hdlc_error(Cause::Type cause) = 0;
    virtual void on_hdlc_ready() = 0;
  };

  // What the owner sets before activate(), read and written as one record.
  struct Params {
    int32_t reserved = 0;  // not used by the channel
    int32_t timeslot = 0;  // shown in the log header only
    int32_t tdm = -1;      // the line channel
    int32_t tdm2 = -1;     // the second line channel: where mode 2 transmits
    int32_t mode = 0;      // 0 SS7, 1 ISDN, 2 BRI
  };

  // Link statistics, zeroed by activate(); txOverflow is the owner's.
  struct Stats {
    uint32_t txSU = 0;
    uint32_t txDiscard = 0;
    uint32_t txError = 0;
    uint32_t txOverflow = 0;
    uint32_t rxSU = 0;
  };

  HDLC();
  ~HDLC() override = default;
  HDLC(const HDLC&) = delete;
  HDLC& operator=(const HDLC&) = delete;

  // Notifications go nowhere until bind() names a receiver.
  void unbind();
  void bind(Notify* receiver);

  // (Re)opens the channel, allocates it and wires it in the TDM switch.
  bool activate();
  // Stops watching and closes the channel; the switch connections stay.
  void deactivate();

  bool hdlc_transmit(Packet& frame) override;
  bool is_open() const override { return static_cast<bool>(event_.fd()); }
  bool is_ready() const override { return ready_; }

  void on_event(int fd, short revents);
  void do_read();

  void PutHeader(std::ostream& out) const;

  const Params& params() const { return params_; }
  void set_params(const Params& params) { params_ = params; }
  Stats& stats() { return stats_; }
  const Stats& stats() const { return stats_; }
  uint32_t log_level() const { return log_; }
  void set_log_level(uint32_t level) { log_ = level; }
  uint32_t trunk() const { return trunk_; }
  void set_trunk(uint32_t trunk) { trunk_ = trunk; }

private:
  bool ready_;
  Params params_;
  Stats stats_;
  Event event_;
  FrameIntake intake_;  // frames dropped when no buffer is free
  uint32_t log_;
  uint32_t trunk_;
  Notify* notify_;
};
