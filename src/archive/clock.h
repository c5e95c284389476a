#pragma once

#include <QDateTime>

// Where "now" comes from, so that keys and default dates can be tested.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const { return QDateTime::currentDateTime(); }
    QDate today() const { return now().date(); }
};
