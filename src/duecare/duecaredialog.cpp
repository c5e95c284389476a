#include "duecare/duecaredialog.h"

#include "archive/archive.h"
#include "archive/conversions.h"
#include "archive/timestampkey.h"
#include "duecare/duecaremodel.h"
#include "duecare/rhythmdialog.h"
#include "ui/platform/openedarchive.h"

#include <QButtonGroup>
#include <QDateEdit>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QThread>
#include <QVBoxLayout>

#include <atomic>

namespace {
namespace T {
const QString title = QStringLiteral("Cure in scadenza");
const QString show = QStringLiteral("Mostra");
const QString today = QStringLiteral("&Oggi");
const QString week = QStringLiteral("&Entro 7 giorni");
const QString all = QStringLiteral("&Tutte");
const QString list = QStringLiteral("Cure in scadenza");
const QString day = QStringLiteral("&Data:");
const QString record = QStringLiteral("&Registra");
const QString rhythm = QStringLiteral("R&itmo...");
const QString close = QStringLiteral("&Chiudi");
const QString computing = QStringLiteral("Calcolo delle cure in corso…");
const QString cancel = QStringLiteral("Annulla");
const QString cancelled = QStringLiteral("Calcolo annullato.");
const QString readFailed = QStringLiteral("Impossibile leggere l'archivio: %1");
const QString none = QStringLiteral("Nessuna cura in scadenza.");
const QString count = QStringLiteral("Cure nell'elenco: %1");
const QString readOnly = QStringLiteral("L'archivio è aperto in sola lettura.");
const QString selectRows = QStringLiteral("Seleziona una o più cure dall'elenco");
const QString selectRow = QStringLiteral("Seleziona una cura dall'elenco");
const QString askOne = QStringLiteral("Registrare %1 per %2 in data %3?");
const QString askMany = QStringLiteral("Registrare %1 interventi in data %2?");
const QString recordedOne = QStringLiteral("Registrato: %1 per %2 in data %3.");
const QString recordedMany = QStringLiteral("Registrati %1 interventi in data %2.");
const QString recordFailed =
    QStringLiteral("Registrazione non riuscita: %1.\nNessun intervento è stato registrato.");
const QString rhythmFailed =
    QStringLiteral("Impossibile salvare il ritmo: %1.\nL'archivio non è stato modificato.");
const QString eventsFailed = QStringLiteral("Impossibile mostrare i trattamenti della pianta.");
} // namespace T

QString plantName(const DueRow &r) {
    return r.identificazione.trimmed().isEmpty() ? r.specie.trimmed() : r.identificazione.trimmed();
}
} // namespace

// What the reading thread hands back; the window reads it once the thread has finished.
struct DueCareDialog::Load {
    std::atomic<bool> stop{false};
    std::optional<QList<DueRow>> rows;
    QString error;
};

DueCareDialog::DueCareDialog(AppContext &ctx, MainList &main, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_main(main) {
    setObjectName("DueCareDialog");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(T::title);

    auto *span = new QGroupBox(T::show, this);
    todayButton = new QRadioButton(T::today, span);
    todayButton->setObjectName("todayButton");
    weekButton = new QRadioButton(T::week, span);
    weekButton->setObjectName("weekButton");
    allButton = new QRadioButton(T::all, span);
    allButton->setObjectName("allButton");
    todayButton->setChecked(true);
    auto *spanLayout = new QHBoxLayout(span);
    spanLayout->addWidget(todayButton);
    spanLayout->addWidget(weekButton);
    spanLayout->addWidget(allButton);
    spanLayout->addStretch();
    auto *spans = new QButtonGroup(this);
    spans->addButton(todayButton, int(DueCareModel::Span::Today));
    spans->addButton(weekButton, int(DueCareModel::Span::Week));
    spans->addButton(allButton, int(DueCareModel::Span::All));

    status = new QLabel(this);
    status->setObjectName("status");

    model = new DueCareModel(this);
    dueList = new QTableView(this);
    dueList->setObjectName("dueList");
    dueList->setAccessibleName(T::list);
    dueList->setModel(model);
    dueList->setSelectionBehavior(QAbstractItemView::SelectRows);
    dueList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    dueList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    dueList->setTabKeyNavigation(false);
    dueList->setSortingEnabled(true);
    dueList->sortByColumn(DueCareModel::Late, Qt::DescendingOrder);
    dueList->verticalHeader()->hide();
    dueList->horizontalHeader()->setStretchLastSection(true);
    dueList->setWordWrap(false);
    const QList<int> widths = {170, 190, 110, 90, 140, 90, 100};
    for (int c = 0; c < widths.size(); ++c)
        dueList->setColumnWidth(c, widths.at(c));

    auto *dayLabel = new QLabel(T::day, this);
    dayEdit = new QDateEdit(m_ctx.clock->today(), this);
    dayEdit->setObjectName("dayEdit");
    dayEdit->setCalendarPopup(true);
    dayEdit->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    dayLabel->setBuddy(dayEdit);
    dayEdit->setAccessibleName(T::day.mid(1).chopped(1));
    recordButton = new QPushButton(T::record, this);
    recordButton->setObjectName("recordButton");
    rhythmButton = new QPushButton(T::rhythm, this);
    rhythmButton->setObjectName("rhythmButton");
    closeButton = new QPushButton(T::close, this);
    closeButton->setObjectName("closeButton");
    // Enter on the list shows the plant: no button takes it.
    for (QPushButton *b : {recordButton, rhythmButton, closeButton})
        b->setAutoDefault(false);
    if (m_ctx.state.archiveReadOnly)
        for (QPushButton *b : {recordButton, rhythmButton}) {
            b->setEnabled(false);
            b->setToolTip(T::readOnly);
        }

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(dayLabel);
    bottom->addWidget(dayEdit);
    bottom->addWidget(recordButton);
    bottom->addSpacing(16);
    bottom->addWidget(rhythmButton);
    bottom->addStretch();
    bottom->addWidget(closeButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(span);
    layout->addWidget(status);
    layout->addWidget(dueList, 1);
    layout->addLayout(bottom);
    resize(980, 520);

    connect(spans, &QButtonGroup::idClicked, this, [this](int id) {
        model->setSpan(DueCareModel::Span(id));
        showStatus();
    });
    connect(dueList, &QAbstractItemView::activated, this, &DueCareDialog::showPlant);
    connect(recordButton, &QPushButton::clicked, this, &DueCareDialog::record);
    connect(rhythmButton, &QPushButton::clicked, this, &DueCareDialog::chooseRhythm);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    dueList->setFocus();
    reload();
}

DueCareDialog::~DueCareDialog() {
    if (m_loader) {
        m_load->stop = true;
        m_loader->wait();
        delete m_loader;
    }
    if (m_freeing) {
        m_freeing->wait();
        delete m_freeing;
    }
}

DueCareDialog *DueCareDialog::open(AppContext &ctx, MainList &main, QWidget *parent) {
    auto *window = parent->findChild<DueCareDialog *>(QString(), Qt::FindDirectChildrenOnly);
    if (!window)
        window = new DueCareDialog(ctx, main, parent);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void DueCareDialog::reload() {
    if (m_loader)
        return;
    m_failure.clear();
    m_load = std::make_shared<Load>();
    const QString path = m_ctx.folder.archivePath();
    const bool readOnly = m_ctx.state.archiveReadOnly;
    const QDate today = m_ctx.clock->today();
    // The thread has a connection of its own, made and dropped there.
    m_loader = QThread::create([load = m_load, path, readOnly, today] {
        Archive archive(path);
        archive.setReadOnly(readOnly);
        load->rows = archive.dueCare(today, [&load] { return !load->stop; });
        if (!load->rows)
            load->error = archive.lastError();
        else
            DueCareModel::sortFirst(*load->rows); // here, not on the window's thread
    });
    connect(m_loader, &QThread::finished, this, &DueCareDialog::loaded);
    for (QPushButton *b : {recordButton, rhythmButton})
        b->setEnabled(false);
    status->setText(T::computing);
    // Shown only when the reading takes more than a moment.
    m_progress = new QProgressDialog(T::computing, T::cancel, 0, 0, this);
    m_progress->setObjectName("progresso");
    m_progress->setWindowTitle(Messages::title);
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setMinimumDuration(500);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    connect(m_progress, &QProgressDialog::canceled, this, [load = m_load] { load->stop = true; });
    m_loader->start();
}

void DueCareDialog::loaded() {
    m_loader->deleteLater();
    m_loader = nullptr;
    m_progress->deleteLater();
    m_progress->hide();
    m_progress = nullptr;
    const bool stopped = m_load->stop;
    QList<DueRow> before =
        m_load->rows ? model->setRows(std::move(*m_load->rows), true) : model->setRows({});
    // The rows shown before go on a thread of their own: at 100,000 plants letting them go
    // here would hold the window up for a tenth of a second.
    if (m_freeing) {
        m_freeing->wait(); // long done: it had a whole reading's time
        delete m_freeing;
    }
    m_freeing = QThread::create([rows = std::move(before)]() mutable { rows = {}; });
    m_freeing->start();
    m_failure = m_load->rows ? QString()
                : stopped    ? T::cancelled
                             : T::readFailed.arg(m_load->error);
    m_load.reset();
    if (!m_ctx.state.archiveReadOnly)
        for (QPushButton *b : {recordButton, rhythmButton})
            b->setEnabled(true);
    showStatus();
    emit listed();
}

void DueCareDialog::showStatus() {
    if (!m_failure.isEmpty())
        status->setText(m_failure);
    else
        status->setText(model->rowCount() == 0 ? T::none : T::count.arg(model->rowCount()));
}

void DueCareDialog::refreshMain() {
    m_main.showListAgain();
}

void DueCareDialog::showPlant(const QModelIndex &index) {
    if (!index.isValid())
        return;
    const DueRow &row = model->at(index.row());
    if (!m_main.showEventsOfPlant(row.plantId, row.plantRowid))
        m_ctx.messages->show(T::eventsFailed, Messages::Icon::Exclamation);
}

void DueCareDialog::record() {
    QList<CareToRecord> care;
    QModelIndexList picked = dueList->selectionModel()->selectedRows();
    std::sort(picked.begin(), picked.end());
    for (const QModelIndex &i : picked)
        care.append({model->at(i.row()).plantId, model->at(i.row()).intervento});
    if (care.isEmpty()) {
        m_ctx.messages->show(T::selectRows, Messages::Icon::Exclamation);
        return;
    }
    const QDate day = dayEdit->date();
    const QString date = Conversions::editorDate(day);
    const DueRow &first = model->at(picked.first().row());
    const bool one = care.size() == 1;
    if (!m_ctx.messages->askYesNo(one ? T::askOne.arg(first.intervento, plantName(first), date)
                                      : T::askMany.arg(care.size()).arg(date),
                                  Messages::Icon::Question))
        return;
    const QString kind = first.intervento, name = plantName(first);
    bool ok = false;
    QString why;
    {
        OpenedArchive archive(m_ctx);
        ok = archive.recordCare(care, day, TimestampKey::make(m_ctx.clock->now()));
        why = archive.lastError();
    }
    if (!ok) {
        m_ctx.messages->show(T::recordFailed.arg(why), Messages::Icon::Exclamation);
        return;
    }
    m_ctx.messages->show(one ? T::recordedOne.arg(kind, name, date)
                             : T::recordedMany.arg(care.size()).arg(date),
                         Messages::Icon::Information);
    refreshMain();
    reload();
}

void DueCareDialog::chooseRhythm() {
    const QModelIndex current = dueList->currentIndex();
    if (!current.isValid()) {
        m_ctx.messages->show(T::selectRow, Messages::Icon::Exclamation);
        return;
    }
    const DueRow row = model->at(current.row());
    QList<DueRow> rows;
    for (const DueRow &r : model->all())
        if (r.plantId == row.plantId)
            rows << r;
    QStringList kinds;
    {
        OpenedArchive archive(m_ctx);
        kinds = archive.careKinds(row.plantId).value_or(QStringList());
    }
    auto *dialog = new RhythmDialog(row, kinds, rows, this);
    connect(dialog, &QDialog::accepted, this, [this, dialog, row] {
        if (dialog->kind().isEmpty())
            return;
        bool ok = false;
        QString why;
        {
            OpenedArchive archive(m_ctx);
            ok = archive.setRhythm(row.plantId, dialog->kind(), dialog->days());
            why = archive.lastError();
        }
        if (!ok)
            m_ctx.messages->show(T::rhythmFailed.arg(why), Messages::Icon::Exclamation);
        else
            reload();
    });
    m_ctx.modal->run(dialog);
}
