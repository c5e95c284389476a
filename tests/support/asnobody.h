#pragma once

#include <QString>

// Runs one case of this program again as the unprivileged user "nobody", for whom file
// permissions hold. False, with the reason, when that cannot be done here.
bool runAsNobody(const QString &testCase, QString *output);
