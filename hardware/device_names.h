#pragma once
// The board's character devices, named in one place, and the RTP driver's
// codec names.

const char* GetVoiceDevName();   // "/dev/voice"
const char* GetMixerDevName();   // "/dev/mixer"
const char* GetDTMFDevName();    // "/dev/dtmf"
const char* GetDSPDevName();     // "/dev/dsp"
const char* GetDspDataDevName(); // "/dev/dsp-data"
const char* GetRtpDevName();     // "/dev/rtp"
const char* GetRtpExtDevName();  // "/dev/rtp_ext"
const char* GetModemDevName();   // "/dev/mctl"
const char* GetMaintenance();    // "/dev/maintenance"
const char* GetSpiTdmDevName();  // "/dev/spi_tdm"
const char* GetUsbTdmDevName();  // "/dev/usb_tdm"

// The name of a codec number, "invalid" outside 0..8.
const char* GetCodecAsStr(int codec);
