#pragma once

namespace ombrelay {

class Settings;

// Registers every preference key with its first value (write-if-absent), and writes the keys that are
// recomputed at every launch. Runs before anything reads a setting.
void registerDefaultSettings(Settings& settings);

}  // namespace ombrelay
