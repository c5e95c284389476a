#include "csvimport/csvimportdialog.h"

#include "archive/fieldtable.h"
#include "csvimport/csvfilepanel.h"
#include "ui/mainlist.h"
#include "ui/widgets/workprogress.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
namespace T {
const QString caption = QStringLiteral("Importa da CSV");
const QString plants = QStringLiteral("&Piante");
const QString events = QStringLiteral("&Trattamenti (facoltativo)");
const QString duplicates = QStringLiteral("Righe &già in archivio:");
const QString skip = QStringLiteral("saltale");
const QString update = QStringLiteral("aggiornale con i valori del file");
const QString skippedRows = QStringLiteral("Righe che non saranno importate:");
const QString tryIt = QStringLiteral("P&rova");
const QString import = QStringLiteral("&Importa");
const QString close = QStringLiteral("&Chiudi");
const QString cancel = QStringLiteral("Annulla");
const QString checking = QStringLiteral("Controllo delle righe in corso...");
const QString importing = QStringLiteral("Importazione in corso...");
const QString nothingChosen =
    QStringLiteral("Scegli il file delle piante, o quello dei trattamenti.");
const QString wouldImport =
    QStringLiteral("Da importare: %1 piante e %2 trattamenti; %3 righe saltate.");
const QString noSkipped = QStringLiteral("Tutte le righe possono essere importate.");
const QString skippedLine = QStringLiteral("%1, riga %2: %3");
const QString askSkip =
    QStringLiteral("%1 righe non possono essere importate (sono elencate nella finestra).\n"
                   "Importare le altre e saltare queste?");
const QString imported = QStringLiteral("Importate %1 piante e %2 trattamenti; %3 righe saltate.");
const QString reportAt = QStringLiteral("Elenco delle righe saltate, con il motivo: %1");
const QString reportFailed =
    QStringLiteral("Impossibile salvare l'elenco delle righe saltate: %1.");
const QString failed =
    QStringLiteral("Impossibile importare: %1.\nL'archivio non è stato modificato.");
const QString checkFailed = QStringLiteral("Impossibile controllare le righe: %1.");
const QString cancelled =
    QStringLiteral("Importazione annullata: l'archivio non è stato modificato.");
const QString readOnly =
    QStringLiteral("L'archivio è aperto in sola lettura: non è possibile importare.");
} // namespace T

constexpr int progressSteps = 1000;
} // namespace

CsvImportDialog::CsvImportDialog(AppContext &ctx, MainList &main, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_main(main), m_import(ctx.folder) {
    setObjectName("CsvImportDialog");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(T::caption);
    resize(920, 680);
    auto *layout = new QVBoxLayout(this);
    tabs = new QTabWidget(this);
    tabs->setObjectName("tabs");
    plantPanel = new CsvFilePanel(ctx, m_import, FieldTable::plants, tabs);
    plantPanel->setObjectName("plantPanel");
    eventPanel = new CsvFilePanel(ctx, m_import, FieldTable::events, tabs);
    eventPanel->setObjectName("eventPanel");
    tabs->addTab(plantPanel, T::plants);
    tabs->addTab(eventPanel, T::events);
    layout->addWidget(tabs, 4);

    auto *dupRow = new QHBoxLayout;
    auto *dupLabel = new QLabel(T::duplicates, this);
    duplicatesBox = new QComboBox(this);
    duplicatesBox->setObjectName("duplicatesBox");
    duplicatesBox->addItems({T::skip, T::update});
    dupLabel->setBuddy(duplicatesBox);
    dupRow->addWidget(dupLabel);
    dupRow->addWidget(duplicatesBox);
    dupRow->addStretch();
    layout->addLayout(dupRow);

    auto *skippedLabel = new QLabel(T::skippedRows, this);
    skippedList = new QPlainTextEdit(this);
    skippedList->setObjectName("skippedList");
    skippedList->setReadOnly(true);
    skippedList->setLineWrapMode(QPlainTextEdit::NoWrap);
    skippedList->setMaximumHeight(fontMetrics().lineSpacing() * 8);
    skippedList->setAccessibleName(QString(T::skippedRows).chopped(1));
    skippedLabel->setBuddy(skippedList);
    layout->addWidget(skippedLabel);
    layout->addWidget(skippedList, 1);
    summaryLabel = new QLabel(T::nothingChosen, this);
    summaryLabel->setObjectName("summaryLabel");
    summaryLabel->setWordWrap(true);
    summaryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(summaryLabel);

    auto *buttons = new QHBoxLayout;
    tryButton = new QPushButton(T::tryIt, this);
    tryButton->setObjectName("tryButton");
    importButton = new QPushButton(T::import, this);
    importButton->setObjectName("importButton");
    closeButton = new QPushButton(T::close, this);
    closeButton->setObjectName("closeButton");
    buttons->addStretch();
    for (QPushButton *b : {tryButton, importButton, closeButton}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);

    for (CsvFilePanel *panel : {plantPanel, eventPanel})
        connect(panel, &CsvFilePanel::changed, this, &CsvImportDialog::refreshPreview);
    connect(duplicatesBox, &QComboBox::currentIndexChanged, this, &CsvImportDialog::refreshPreview);
    connect(tryButton, &QPushButton::clicked, this, &CsvImportDialog::tryImport);
    connect(importButton, &QPushButton::clicked, this, &CsvImportDialog::importRows);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    refreshPreview();
}

// The first rows of each file, checked against the archive as it is: every plant is looked
// at (an event's plant may come late in its file), only the first events.
void CsvImportDialog::refreshPreview() {
    m_checked.reset();
    m_import.setDuplicates(duplicatesBox->currentIndex() == 1 ? CsvImport::Duplicates::Update
                                                              : CsvImport::Duplicates::Skip);
    const bool any = m_import.isOpen(FieldTable::plants) || m_import.isOpen(FieldTable::events);
    tryButton->setEnabled(any);
    importButton->setEnabled(any);
    skippedList->clear();
    summaryLabel->setText(any ? QString() : T::nothingChosen);
    if (!any) {
        plantPanel->showPreview({});
        eventPanel->showPreview({});
        return;
    }
    const auto outcome = m_import.check(m_ctx.clock->now(), {}, CsvImport::previewRows);
    if (!outcome) {
        summaryLabel->setText(T::checkFailed.arg(m_import.error()));
        return;
    }
    plantPanel->showPreview(outcome->plantRows);
    eventPanel->showPreview(outcome->eventRows);
}

std::optional<CsvImport::Outcome> CsvImportDialog::runWithProgress(const QString &text,
                                                                   bool writing) {
    // Shown only when the work takes more than a moment; meanwhile the window repaints.
    WorkProgress progress(text, T::cancel, progressSteps, this);
    const CsvImport::Progress step = [&](qint64 done, qint64 total) {
        progress.setValue(total > 0 ? int(done * progressSteps / total) : 0);
        QCoreApplication::processEvents();
        return !progress.wasCanceled();
    };
    auto outcome = writing ? m_import.write(m_ctx.clock->now(), step)
                           : m_import.check(m_ctx.clock->now(), step);
    progress.close();
    return outcome;
}

void CsvImportDialog::showSkipped(const CsvImport::Outcome &outcome) {
    QStringList lines;
    for (const CsvImport::Skipped &s : outcome.skipped)
        lines << T::skippedLine.arg(s.file).arg(s.row).arg(s.reason);
    skippedList->setPlainText(lines.isEmpty() ? T::noSkipped : lines.join(u'\n'));
}

bool CsvImportDialog::tryImport() {
    const auto outcome = runWithProgress(T::checking, false);
    if (!outcome) {
        if (!m_import.stopped())
            m_ctx.messages->show(T::checkFailed.arg(m_import.error()), Messages::Icon::Exclamation);
        return false;
    }
    m_checked = outcome;
    showSkipped(*outcome);
    summaryLabel->setText(
        T::wouldImport.arg(outcome->plants).arg(outcome->events).arg(outcome->skipped.size()));
    return true;
}

void CsvImportDialog::importRows() {
    if (m_ctx.state.archiveReadOnly) {
        m_ctx.messages->show(T::readOnly, Messages::Icon::Exclamation);
        return;
    }
    if (!m_checked && !tryImport())
        return;
    const qsizetype bad = m_checked->skipped.size();
    if (bad > 0 && !m_ctx.messages->askYesNo(T::askSkip.arg(bad), Messages::Icon::Question))
        return;
    const auto outcome = runWithProgress(T::importing, true);
    m_checked.reset();
    if (!outcome) {
        m_ctx.messages->show(m_import.stopped() ? T::cancelled : T::failed.arg(m_import.error()),
                             Messages::Icon::Exclamation);
        return;
    }
    showSkipped(*outcome);
    QString report;
    if (!outcome->skipped.isEmpty()) {
        const QString path = m_import.saveReport(*outcome);
        report = path.isEmpty() ? T::reportFailed.arg(m_import.error())
                                : T::reportAt.arg(QDir::toNativeSeparators(path));
    }
    const QString summary =
        T::imported.arg(outcome->plants).arg(outcome->events).arg(outcome->skipped.size());
    summaryLabel->setText(report.isEmpty() ? summary : summary + u'\n' + report);
    // Stored once: a second click would store the same rows again.
    importButton->setEnabled(false);
    tryButton->setEnabled(false);
    m_main.showListAgain();
    m_ctx.messages->show(summary, Messages::Icon::Information);
}
