#include "csvimport/csvfilepanel.h"

#include "archive/csvcolumns.h"
#include "archive/fieldtable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTableWidget>

namespace {
namespace T {
const QString file = QStringLiteral("&File:");
const QString browse = QStringLiteral("&Sfoglia...");
const QString filter = QStringLiteral("File CSV (*.csv *.txt) (*.csv *.CSV *.txt *.TXT)");
const QString header = QStringLiteral("La prima riga contiene i &nomi delle colonne");
const QString columns = QStringLiteral("C&olonne del file e campi in cui vanno:");
const QString preview = QStringLiteral("&Anteprima delle prime %1 righe come saranno archiviate:");
const QString column = QStringLiteral("Colonna");
const QString example = QStringLiteral("Esempio");
const QString field = QStringLiteral("Campo");
const QString columnN = QStringLiteral("Colonna %1");
const QString fieldOf = QStringLiteral("Campo della colonna %1");
const QString leaveOut = QStringLiteral("(non importare)");
const QString row = QStringLiteral("Riga");
const QString outcome = QStringLiteral("Esito");
const QString none = QStringLiteral("Nessun file scelto.");
const QString found = QStringLiteral("Codifica %1, separatore %2.");
const QString semicolon = QStringLiteral("punto e virgola");
const QString comma = QStringLiteral("virgola");
const QString tab = QStringLiteral("tabulazione");
} // namespace T
} // namespace

CsvFilePanel::CsvFilePanel(AppContext &ctx, CsvImport &import, QString table, QWidget *parent)
    : QWidget(parent), m_ctx(ctx), m_import(import), m_table(std::move(table)) {
    auto *grid = new QGridLayout(this);
    auto *fileLabel = new QLabel(T::file, this);
    pathEdit = new QLineEdit(this);
    pathEdit->setObjectName("pathEdit");
    fileLabel->setBuddy(pathEdit);
    browseButton = new QPushButton(T::browse, this);
    browseButton->setObjectName("browseButton");
    grid->addWidget(fileLabel, 0, 0);
    grid->addWidget(pathEdit, 0, 1);
    grid->addWidget(browseButton, 0, 2);
    foundLabel = new QLabel(T::none, this);
    foundLabel->setObjectName("foundLabel");
    grid->addWidget(foundLabel, 1, 1, 1, 2);
    headerBox = new QCheckBox(T::header, this);
    headerBox->setObjectName("headerBox");
    grid->addWidget(headerBox, 2, 1, 1, 2);

    auto *columnsLabel = new QLabel(T::columns, this);
    // One line for each column: its name, a value of it and the box of its field, so that
    // the keys go from box to box.
    columnArea = new QScrollArea(this);
    columnArea->setObjectName("columnArea");
    columnArea->setWidgetResizable(true);
    columnArea->setAccessibleName(QString(T::columns).remove(u'&').chopped(1));
    columnsLabel->setBuddy(columnArea);
    grid->addWidget(columnsLabel, 3, 0, 1, 3);
    grid->addWidget(columnArea, 4, 0, 1, 3);

    const QString previewText = T::preview.arg(CsvImport::previewRows);
    auto *previewLabel = new QLabel(previewText, this);
    previewTable = new QTableWidget(0, 0, this);
    previewTable->setObjectName("previewTable");
    previewTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    previewTable->verticalHeader()->hide();
    previewTable->setAccessibleName(QString(previewText).remove(u'&').chopped(1));
    previewLabel->setBuddy(previewTable);
    grid->addWidget(previewLabel, 5, 0, 1, 3);
    grid->addWidget(previewTable, 6, 0, 1, 3);
    grid->setRowStretch(4, 2);
    grid->setRowStretch(6, 3);
    grid->setColumnStretch(1, 1);

    connect(browseButton, &QPushButton::clicked, this, &CsvFilePanel::browse);
    connect(pathEdit, &QLineEdit::editingFinished, this, [this] {
        if (QDir::fromNativeSeparators(pathEdit->text()) != m_import.path(m_table))
            choose(pathEdit->text());
    });
    connect(headerBox, &QCheckBox::toggled, this, [this](bool on) {
        if (on == m_import.hasHeader(m_table) || !m_import.isOpen(m_table))
            return;
        m_import.setHeader(m_table, on);
        showColumns();
        emit changed();
    });
    showColumns();
}

void CsvFilePanel::browse() {
    const QString chosen = m_ctx.files->openFile(this, T::filter);
    if (!chosen.isEmpty())
        choose(chosen);
}

bool CsvFilePanel::choose(const QString &path) {
    const QString file = QDir::fromNativeSeparators(path.trimmed());
    bool ok = true;
    if (file.isEmpty()) {
        m_import.close(m_table);
    } else if (!m_import.open(m_table, file)) {
        m_ctx.messages->show(m_import.error(), Messages::Icon::Exclamation);
        m_import.close(m_table);
        ok = false;
    }
    pathEdit->setText(QDir::toNativeSeparators(m_import.path(m_table)));
    showColumns();
    emit changed();
    return ok;
}

void CsvFilePanel::showColumns() {
    const bool open = m_import.isOpen(m_table);
    if (open) {
        const CsvReader &r = m_import.reader(m_table);
        const QChar sep = r.separator();
        foundLabel->setText(T::found.arg(r.encoding(), sep == u';'   ? T::semicolon
                                                       : sep == u',' ? T::comma
                                                                     : T::tab));
    } else {
        foundLabel->setText(T::none);
    }
    {
        const QSignalBlocker quiet(headerBox);
        headerBox->setChecked(open && m_import.hasHeader(m_table));
    }
    headerBox->setEnabled(open);
    const QStringList first = m_import.firstRow(m_table);
    const QStringList sample = m_import.sampleRow(m_table);
    const QStringList columns = m_import.columns(m_table);
    const bool header = m_import.hasHeader(m_table);
    const QStringList &targets = CsvColumns::targets(m_table);
    auto *lines = new QWidget;
    auto *g = new QGridLayout(lines);
    const QStringList heads{T::column, T::example, T::field};
    for (int i = 0; i < heads.size(); ++i) {
        auto *head = new QLabel(QStringLiteral("<b>%1</b>").arg(heads.at(i)), lines);
        g->addWidget(head, 0, i);
    }
    QComboBox *focused = nullptr;
    columnArea->setFocusProxy(nullptr);
    for (int c = 0; c < columns.size(); ++c) {
        const QString name = header && !first.at(c).trimmed().isEmpty() ? first.at(c).simplified()
                                                                        : T::columnN.arg(c + 1);
        auto *nameLabel = new QLabel(name, lines);
        nameLabel->setTextFormat(Qt::PlainText);
        auto *example = new QLabel(lines);
        example->setTextFormat(Qt::PlainText);
        example->setText(
            fontMetrics().elidedText(sample.value(c).simplified(), Qt::ElideRight, 200));
        auto *box = new QComboBox(lines);
        box->setObjectName(QStringLiteral("field%1").arg(c + 1));
        box->setAccessibleName(T::fieldOf.arg(name));
        box->addItem(T::leaveOut, QString());
        for (const QString &t : targets)
            box->addItem(CsvColumns::label(m_table, t), t);
        box->setCurrentIndex(std::max(0, int(box->findData(columns.at(c)))));
        connect(box, &QComboBox::activated, this, [this, c, box] {
            m_import.setColumn(m_table, c, box->currentData().toString());
            m_focusColumn = c;
            showColumns();
            emit changed();
        });
        nameLabel->setBuddy(box);
        g->addWidget(nameLabel, c + 1, 0);
        g->addWidget(example, c + 1, 1);
        g->addWidget(box, c + 1, 2);
        if (c == 0)
            columnArea->setFocusProxy(box);
        if (c == m_focusColumn)
            focused = box;
    }
    g->setColumnStretch(2, 1);
    g->setRowStretch(int(columns.size()) + 1, 1);
    // The old lines go once the box that changed them has finished its signal.
    if (QWidget *old = columnArea->takeWidget())
        old->deleteLater();
    columnArea->setWidget(lines);
    if (focused)
        focused->setFocus();
    m_focusColumn = -1;
    showPreview({});
}

void CsvFilePanel::showPreview(const QList<CsvImport::Preview> &rows) {
    QStringList heads{T::row, T::outcome};
    for (const QString &c : FieldTable::columns(m_table))
        heads << CsvColumns::label(m_table, c);
    previewTable->clear();
    previewTable->setColumnCount(int(heads.size()));
    previewTable->setHorizontalHeaderLabels(heads);
    previewTable->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const CsvImport::Preview &p = rows.at(r);
        previewTable->setItem(r, 0, new QTableWidgetItem(QString::number(p.row)));
        previewTable->setItem(r, 1, new QTableWidgetItem(p.outcome));
        for (int i = 0; i < p.values.size(); ++i)
            previewTable->setItem(r, i + 2, new QTableWidgetItem(p.values.at(i)));
    }
    previewTable->resizeColumnsToContents();
}
