#include "ui/setting_bool_state.h"

SettingBoolState::SettingBoolState(QObject* parent) : QObject(parent) {}
