#pragma once
// The factory of the voice players and recorders: each gets a transparent
// channel of the multi-channel controller, opened for writing (players) or
// reading (recorders).
#include <ostream>
#include <string>

#include "core/slot_factory.h"
#include "foundation/fd.h"

class VoiceFactory : public SlotFactory {
public:
  static VoiceFactory& instance();

  char const* GetName() const override { return "Voice/mcc"; }
  Slot* INewSlot(LGCP::CreateParams const& params) override;
  void Query(LGCP::Resources&) override {}

  // The log header; its count stays 0.
  void PutHeader(std::ostream& out) const { out << "voice/mcc[0]: "; }

private:
  Slot* CreateRecord(const std::string& peer);
  Slot* CreatePlay(LGCP::PlayerParams const& params);
  // Opens and allocates a transparent channel; false after the message.
  bool OpenChannel(bool forWriting, Fd& channel, int& timeslot);
};
