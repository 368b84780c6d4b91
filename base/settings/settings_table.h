#pragma once
// Every preference of the player declared once: its key in the preferences file, the
// GlobalSettings member or switch that holds it, its default, and the rule a value
// read from the file must pass. GlobalSettings takes its defaults from these tables,
// reads and writes the file by them, and answers the named accessors the rest of the
// program uses (no other file writes a key or a default). Read-only tables, built on
// first use; GUI thread like the store.
#include <QColor>
#include <QString>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

#include "base/settings/display_modes.h"
#include "base/settings/global_settings.h"

using SettingMember = std::variant<bool GlobalSettings::*, QColor GlobalSettings::*, double GlobalSettings::*,
                                   uint32_t GlobalSettings::*, QString GlobalSettings::*>;
using SettingValue = std::variant<bool, QColor, double, uint32_t, QString>;

// What a value read from the file must be. Booleans are true exactly for "YES"; a
// colour needs r, g and b up to 255 (a missing or bad a gives 255) or stays; a text
// is taken as it is. The fields below concern the numbers.
struct SettingReadRule {
    // Unsigned keys: min to max are taken; any other number gives the default.
    uint32_t min = 0;
    uint32_t max = UINT32_MAX;
    // A text that is no number keeps the member (else it gives the default).
    bool keep_on_fail = true;
    // A negative text is an out-of-range number (else it is no number).
    bool negative_is_number = false;
    // Printed on the console for an out-of-range number (printf, one %lld).
    const char* console_line = nullptr;
    // Logs "Invalid pref value : <key> = <number> (default <default>)" for an
    // out-of-range number.
    bool log_out_of_range = false;
    // The display mode whose rule gives the range, the default and the line.
    std::optional<DisplayModeKind> display_mode;
    // The double key: taken only when finite and greater than this.
    double above = 0.0;
};

// One "params" key.
struct SettingParam {
    const char* key;
    SettingMember member;
    SettingValue fallback;  // the default; its type is the member's
    SettingReadRule rule;
};

// Every "params" key, in the order of the file.
const std::vector<SettingParam>& settings_params();
// The row of `key`, or null.
const SettingParam* settings_param(QStringView key);

// One named switch ("ui_bool_setting" element).
struct SettingSwitch {
    const char* key;
    std::optional<bool> at_start;  // stored by the constructor, so always written
    bool when_absent;              // what the accessors give for a key not stored
    const char* older_param_key;   // a "params" key an older file may hold it under, or null
};

const SettingSwitch& settings_switch(GlobalSettings::Switch which);
// Every switch, in the order of GlobalSettings::Switch.
const std::vector<SettingSwitch>& settings_switches();
