// The settings room: what the user chooses (blinking at 100 and the threshold) and where it
// is kept, "Tembix.ini" beside the program, read at start; and the Options dialog, which is
// also the about box, where the user changes it and starting at logon. The file goes
// through the platform's profile functions, by its wide name on the NT family, so that a
// folder whose name the ANSI code page cannot hold works too.
#pragma once

#include "support/support.h"

#include <cstdint>

constexpr char kSettingsFileName[] = "Tembix.ini";
constexpr char kOptionSection[] = "Option";
constexpr char kBlinkKey[] = "BlinkTrayIcon";
constexpr char kThresholdKey[] = "Threshold";
constexpr uint8_t kDefaultThreshold = 80;

// A file of the program's folder; empty where that folder is unknown, since a name without a
// folder would be looked for in the current one (by the profile calls, in the Windows folder).
TWide InProgramFolder(const char* name);
TWide SettingsPath();

// Values longer than 1023 characters come back cut to 1023.
TAnsi IniReadString(const TWide& file, const char* section, const char* key);
int32_t IniReadInteger(const TWide& file, const char* section, const char* key, int32_t fallback);
bool IniReadBool(const TWide& file, const char* section, const char* key, bool fallback);
bool IniWriteString(const TWide& file, const char* section, const char* key, const char* value);
bool IniWriteInteger(const TWide& file, const char* section, const char* key, int32_t value);
bool IniWriteBool(const TWide& file, const char* section, const char* key, bool value);
bool IniEraseSection(const TWide& file, const char* section);

// The threshold byte that a stored number stands for: its low 8 bits, or 80 when those
// are 0 or above 100.
uint8_t ThresholdFromStored(int32_t stored);

// The file as it is, and put back after a failed save (false when it could not be). The 9x
// family's profile functions keep a cache of the file, written out first so that nothing is
// lost or left.
TFileSnapshot SnapshotSettings(const TWide& file);
bool RestoreSettings(const TFileSnapshot& snapshot);

// Reads both settings into AppState, as start-up does.
void LoadSettings();
