#pragma once

#include "ui/registry.h"

#include <QString>

// Reads one registry value as text: a text value as it is (less its terminating zero), a
// 32-bit number written in decimal. Any other kind leaves `keyVal` as the caller passed it.
// False, with `keyVal` emptied, when the key or the value is missing.
bool GetKeyValue(const Registry &registry, const QString &KeyName, const QString &SubKeyRef,
                 QString &KeyVal);
