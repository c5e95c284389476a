#include "about/readkeyvalue.h"

#include <QtEndian>

bool readKeyValue(const Registry &registry, const QString &key, const QString &name,
                  QString &value) {
    constexpr int bufferSize = 1024;
    Registry::Type type = Registry::Type::None;
    QByteArray bytes;
    if (!registry.query(key, name, &type, &bytes, bufferSize)) {
        value.clear();
        return false;
    }
    // The value as written, less its terminating zero when it has one.
    if (!bytes.isEmpty() && bytes.endsWith('\0'))
        bytes.chop(1);
    switch (type) {
    case Registry::Type::Text:
        value = QString::fromLatin1(bytes);
        break;
    case Registry::Type::Number: {
        QByteArray four = bytes.left(4);
        four.append(QByteArray(4 - four.size(), '\0'));
        value = QString::number(qFromLittleEndian<quint32>(four.constData()));
        break;
    }
    default:
        break;
    }
    return true;
}
