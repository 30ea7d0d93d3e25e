#pragma once
// The factory of the voice players and recorders: each gets a transparent
// channel of the multi-channel controller, opened for writing (players) or
// reading (recorders).
#include <list>
#include <ostream>
#include <string>

#include "core/slot_factory.h"
#include "foundation/fd.h"

class PlaySlotGeneric;
class RecordSlot;

class VoiceFactory : public SlotFactory {
public:
  static VoiceFactory& instance();

  char const* GetName() const override { return "Voice/mcc"; }
  Slot* INewSlot(LGCP::CreateParams const& params) override;
  void Query(LGCP::Resources&) override {}

  void OnDestroy(RecordSlot* slot) { recorders_.remove(slot); }
  void OnDestroy(PlaySlotGeneric* slot) { players_.remove(slot); }
  const std::list<RecordSlot*>& recorders() const { return recorders_; }
  const std::list<PlaySlotGeneric*>& players() const { return players_; }

  void PutHeader(std::ostream& out) const { out << "voice/mcc" << "[" << counter_ << "]: "; }

private:
  Slot* CreateRecord(const std::string& peer);
  Slot* CreatePlay(LGCP::PlayerParams const& params);
  // Opens and allocates a transparent channel; false after the message.
  bool OpenChannel(bool forWriting, Fd& channel, int& timeslot);

  unsigned counter_ = 0;
  std::list<RecordSlot*> recorders_;
  std::list<PlaySlotGeneric*> players_;
};
