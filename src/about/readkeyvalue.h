#pragma once

#include "ui/platform/registry.h"

#include <QString>

// Reads one registry value as text: a text value as it is (less its terminating zero), a
// 32-bit number written in decimal. Any other kind leaves `value` as the caller passed it.
// False, with `value` emptied, when the key or the value is missing.
bool readKeyValue(const Registry &registry, const QString &key, const QString &name,
                  QString &value);
