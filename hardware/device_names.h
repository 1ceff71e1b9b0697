#pragma once

// Paths of the board's driver devices, so that every user opens the same file.
// Each returns the same pointer on every call.
const char* GetVoiceDevName();
const char* GetMixerDevName();
const char* GetDTMFDevName();
const char* GetDSPDevName();
const char* GetRtpDevName();
const char* GetModemDevName();
const char* GetMaintenance();
const char* GetRtpExtDevName();
const char* GetSpiTdmDevName();

// The name of a codec number of the packet-voice driver; "invalid" outside 0..8.
const char* GetCodecAsStr(int codec);
