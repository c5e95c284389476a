#pragma once

#include <QByteArray>
#include <QString>

// The system registry, read-only. This platform has none: every look-up fails.
class Registry {
public:
    enum class Type { None = 0, Text = 1, Number = 4, Other = 3 };
    virtual ~Registry() = default;
    // Reads value `name` of key `key` under the local-machine root: its type and its raw
    // bytes as stored (at most `capacity` bytes). False when the key or value is missing.
    virtual bool query(const QString &key, const QString &name, Type *type, QByteArray *bytes,
                       int capacity) const {
        Q_UNUSED(key);
        Q_UNUSED(name);
        Q_UNUSED(type);
        Q_UNUSED(bytes);
        Q_UNUSED(capacity);
        return false;
    }
    // Starts a program in a normal window; false when it cannot.
    virtual bool launch(const QString &program) const;
};
