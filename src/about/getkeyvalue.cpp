#include "about/getkeyvalue.h"

#include <QtEndian>

bool GetKeyValue(const Registry &registry, const QString &KeyName, const QString &SubKeyRef,
                 QString &KeyVal) {
    constexpr int bufferSize = 1024;
    Registry::Type type = Registry::Type::None;
    QByteArray bytes;
    if (!registry.query(KeyName, SubKeyRef, &type, &bytes, bufferSize)) {
        KeyVal.clear();
        return false;
    }
    // The value as written, less its terminating zero when it has one.
    if (!bytes.isEmpty() && bytes.endsWith('\0'))
        bytes.chop(1);
    switch (type) {
    case Registry::Type::Text:
        KeyVal = QString::fromLatin1(bytes);
        break;
    case Registry::Type::Number: {
        QByteArray four = bytes.left(4);
        four.append(QByteArray(4 - four.size(), '\0'));
        KeyVal = QString::number(qFromLittleEndian<quint32>(four.constData()));
        break;
    }
    default:
        break;
    }
    return true;
}
