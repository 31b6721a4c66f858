#pragma once

#include <QVariantList>

namespace ombrelay {

class Settings;

// The user search sites a new user starts with, and that resetting the search sites brings back.
QVariantList defaultSearchSites();

// Registers every preference key with its first value (write-if-absent), and writes the keys that are
// recomputed at every launch. Runs before anything reads a setting.
void registerDefaultSettings(Settings& settings);

}  // namespace ombrelay
