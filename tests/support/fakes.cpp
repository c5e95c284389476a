#include "support/fakes.h"

#include <QPrinter>

void FakeMessages::show(const QString &text, Icon icon) {
    said.append({text, icon, false});
    if (onSaid)
        onSaid(said.last());
}

bool FakeMessages::askYesNo(const QString &text, Icon icon) {
    said.append({text, icon, true});
    if (onSaid)
        onSaid(said.last());
    return m_answers.isEmpty() ? false : m_answers.dequeue();
}

QStringList FakeMessages::texts() const {
    QStringList t;
    for (const Said &s : said)
        t << s.text;
    return t;
}

void FakeModal::run(QDialog *window) {
    opened.append(window);
    window->show();
}

QString FakeFiles::openFile(QWidget *, const QString &filter) {
    ++calls;
    lastFilter = filter;
    return next;
}

QString FakeFiles::openFileIn(QWidget *parent, const QString &dir, const QString &filter) {
    lastDir = dir;
    return openFile(parent, filter);
}

QStringList FakeFiles::openFiles(QWidget *, const QString &filter) {
    ++calls;
    lastFilter = filter;
    return nextFiles;
}

QString FakeFiles::chooseFolder(QWidget *, const QString &dir) {
    ++calls;
    lastDir = dir;
    return nextFolder;
}

bool FakePrinter::choose(QPrinter &printer, QWidget *, bool offerSelection) {
    ++calls;
    lastOfferedSelection = offerSelection;
    if (pdfPath.isEmpty())
        return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdfPath);
    return true;
}

bool FakeRegistry::query(const QString &key, const QString &name, Type *type, QByteArray *bytes,
                         int capacity) const {
    const auto it = values.find(key + "|" + name);
    if (it == values.end())
        return false;
    *type = it->type;
    *bytes = it->bytes.left(capacity);
    return true;
}

bool FakeRegistry::launch(const QString &program) const {
    launched << program;
    return launchWorks && !program.isEmpty();
}
