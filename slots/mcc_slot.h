#pragma once
// MCC data slots: a raw data channel of the multi-channel controller. Every
// frame the channel receives goes to the controller as `userData`; the
// controller's `userData` is written to the channel, one frame per command.
// The channel's time slot is connected through the TDM switch like any
// other slot's.
#include <ostream>
#include <vector>

#include "core/slot.h"
#include "core/slot_factory.h"
#include "foundation/event.h"
#include "foundation/fd.h"

class MccSlot : public Slot {
public:
  static constexpr size_t FrameSize = 1024;  // the most one read takes

  // Takes a descriptor on which a channel is allocated.
  explicit MccSlot(const Fd& channel);

  bool IUserData(std::vector<char> const& data) override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() override { return timeslot_; }
  int IGetReceiveChannel() override { return timeslot_; }
  char const* GetName() const override { return "MCC"; }

  void OnEvent(int fd, short revents);
  void PutHeader(std::ostream& out) const;

  bool reading() const { return static_cast<bool>(event_.fd()); }

private:
  enum class ReadEnd { Drained, Closed, Failed };

  // Delivers every frame waiting; how the reading ended.
  ReadEnd DoRead();
  // The channel has ended or failed: it is watched no more.
  void StopReading(const char* why);

  int timeslot_;
  Fd channel_;
  Event event_;
  std::vector<char> frame_;  // reused for every frame
};

class MccFactory : public SlotFactory {
public:
  static MccFactory& instance();

  char const* GetName() const override { return "MCC"; }
  Slot* INewSlot(LGCP::CreateParams const& params) override;
  // The numbers of data, BRI and transparent channels (0 when unknown).
  void Query(LGCP::Resources& resources) override;

  void PutHeader(std::ostream& out) const { out << "mcc: "; }
};
