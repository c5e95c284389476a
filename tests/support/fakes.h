#pragma once

#include "archive/clock.h"
#include "ui/platform/filechooser.h"
#include "ui/platform/messages.h"
#include "ui/platform/modalrunner.h"
#include "ui/platform/printchooser.h"
#include "ui/platform/registry.h"

#include <QDialog>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QQueue>

// Message boxes that record what was said and answer from a script.
class FakeMessages : public Messages {
public:
    struct Said {
        QString text;
        Icon icon;
        bool question;
    };
    void show(const QString &text, Icon icon) override;
    bool askYesNo(const QString &text, Icon icon = Icon::None) override;

    void answerNext(bool yes) { m_answers.enqueue(yes); }
    QList<Said> said;
    QStringList texts() const;
    void clear() { said.clear(); }
    // Runs right after a message is recorded: a test may close a window from there.
    std::function<void(const Said &)> onSaid;

private:
    QQueue<bool> m_answers;
};

// Opens windows without blocking: the test drives them, then closes them.
class FakeModal : public ModalRunner {
public:
    void run(QDialog *window) override;
    QList<QPointer<QDialog>> opened;
    QDialog *last() const { return opened.isEmpty() ? nullptr : opened.last().data(); }
};

// The open-file dialog answers with the next scripted name; empty means cancelled.
class FakeFiles : public FileChooser {
public:
    QString openFile(QWidget *parent, const QString &filter) override;
    QString openFileIn(QWidget *parent, const QString &dir, const QString &filter) override;
    QString chooseFolder(QWidget *parent, const QString &dir) override;
    QStringList openFiles(QWidget *parent, const QString &filter) override;
    QString next;
    QStringList nextFiles; // the choice of several files
    QString nextFolder; // the folder choice's answer
    QString lastFilter;
    QString lastDir;
    int calls = 0;
};

// The print dialog prints to a PDF file, or is cancelled when no file is set.
class FakePrinter : public PrintChooser {
public:
    bool choose(QPrinter &printer, QWidget *parent, bool offerSelection) override;
    QString pdfPath;
    int calls = 0;
    bool lastOfferedSelection = false;
};

// A clock that shows the time the test set.
class FixedClock : public Clock {
public:
    QDateTime now() const override { return current; }
    QDateTime current = QDateTime(QDate(2026, 12, 7), QTime(10, 0, 0));
};

// A registry with values set by the test.
class FakeRegistry : public Registry {
public:
    struct Value {
        Type type;
        QByteArray bytes;
    };
    bool query(const QString &key, const QString &name, Type *type, QByteArray *bytes,
               int capacity) const override;
    bool launch(const QString &program) const override;
    QHash<QString, Value> values; // "key|name"
    mutable QStringList launched;
    bool launchWorks = true;
};
