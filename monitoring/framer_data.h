#pragma once
// The last known state of one E1 framer, from two sources: the text status
// file of the framer driver, and the trunk state that the E1 service reports
// in its `trunkStatus` signals.
#include <string>
#include <vector>

#include "messages/ACP/ACP.h"

class FramerDataHolder {
public:
  // index: 1..4 (trunk number + 1); path: the driver's status file.
  FramerDataHolder(int index, const std::string& path);

  // Parses a driver status text (at most the bytes read, up to a NUL);
  // true when any field changed.
  bool setFramerStatus(const std::vector<unsigned char>& text);
  // Applies a trunk state; true when the state text changed.
  bool setFramerStatus(const ACP::TrunkState& state);

  bool connected() const { return connected_; }
  const std::string& state() const { return state_; }
  bool signal_loss() const { return signalLoss_; }
  bool frame_alignment_loss() const { return frameAlignmentLoss_; }
  int negative_slips() const { return negativeSlips_; }
  int positive_slips() const { return positiveSlips_; }
  int index() const { return index_; }
  const std::string& path() const { return path_; }

private:
  bool setState(const std::string& text);

  bool connected_;
  std::string state_;
  bool signalLoss_;
  bool frameAlignmentLoss_;
  int negativeSlips_;
  int positiveSlips_;
  int index_;
  std::string path_;
};
