#include "hardware/device_names.h"

const char* GetVoiceDevName() { return "/dev/voice"; }
const char* GetMixerDevName() { return "/dev/mixer"; }
const char* GetDTMFDevName() { return "/dev/dtmf"; }
const char* GetDSPDevName() { return "/dev/dsp"; }
const char* GetDspDataDevName() { return "/dev/dsp-data"; }
const char* GetRtpDevName() { return "/dev/rtp"; }
const char* GetRtpExtDevName() { return "/dev/rtp_ext"; }
const char* GetModemDevName() { return "/dev/mctl"; }
const char* GetMaintenance() { return "/dev/maintenance"; }
const char* GetSpiTdmDevName() { return "/dev/spi_tdm"; }
const char* GetUsbTdmDevName() { return "/dev/usb_tdm"; }

const char* GetCodecAsStr(int codec) {
  static const char* const names[] = {"unknown",  "g711",     "g723",     "g729", "tonec",
                                      "g711-rtp", "g729-rtp", "g723-rtp", "conf"};
  unsigned index = static_cast<unsigned>(codec);
  return index < sizeof names / sizeof names[0] ? names[index] : "invalid";
}
