#include "monitoring/framer_data.h"

#include <algorithm>
#include <cstdlib>

namespace {

// The driver's labels, inner spaces and ": " included.
const char StateLabel[] = "Current state           : ";
const char SignalLossLabel[] = "Loss of Signal          : ";
const char FrameLossLabel[] = "Loss of Frame Alignment : ";
const char NegativeSlipLabel[] = "Receive Slip Negative   : ";
const char PositiveSlipLabel[] = "Receive Slip Positive   : ";

// The rest of the line after the label, when the line holds the label.
bool valueOf(const std::string& line, const char* label, std::string& value) {
  size_t at = line.find(label);
  if (at == std::string::npos)
    return false;
  value = line.substr(at + std::char_traits<char>::length(label));
  return true;
}

template <class T>
bool update(T& field, T value) {
  if (field == value)
    return false;
  field = value;
  return true;
}

}  // namespace

FramerDataHolder::FramerDataHolder(int index, const std::string& path)
    : connected_(false), state_("absent"), signalLoss_(true), frameAlignmentLoss_(true), negativeSlips_(0),
      positiveSlips_(0), index_(index), path_(path) {}

bool FramerDataHolder::setState(const std::string& text) {
  if (text == state_)
    return false;
  state_ = text;
  connected_ = text != "No Carrier";
  return true;
}

bool FramerDataHolder::setFramerStatus(const std::vector<unsigned char>& bytes) {
  auto end = std::find(bytes.begin(), bytes.end(), '\0');
  std::string text(bytes.begin(), end);
  bool changed = false;
  size_t start = 0;
  while (start <= text.size()) {
    size_t stop = text.find('\n', start);
    if (stop == std::string::npos)
      stop = text.size();
    std::string line = text.substr(start, stop - start), value;
    if (valueOf(line, StateLabel, value))
      changed |= setState(value);
    if (valueOf(line, SignalLossLabel, value))
      changed |= update(signalLoss_, value == "yes");
    if (valueOf(line, FrameLossLabel, value))
      changed |= update(frameAlignmentLoss_, value == "yes");
    if (valueOf(line, NegativeSlipLabel, value))
      changed |= update(negativeSlips_, std::atoi(value.c_str()));
    if (valueOf(line, PositiveSlipLabel, value))
      changed |= update(positiveSlips_, std::atoi(value.c_str()));
    start = stop + 1;
  }
  return changed;
}

bool FramerDataHolder::setFramerStatus(const ACP::TrunkState& state) {
  const char* text = "Unknown";
  switch (state.getValue()) {
  case ACP::TrunkState::normal: text = "Synchronized"; break;
  case ACP::TrunkState::lossBF: text = "FAS Loss"; break;
  case ACP::TrunkState::lossCarrier: text = "No Carrier"; break;
  case ACP::TrunkState::ais: text = "AIS"; break;
  case ACP::TrunkState::rai: text = "RAI"; break;
  default: break;
  }
  return setState(text);
}
