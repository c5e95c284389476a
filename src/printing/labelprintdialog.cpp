#include "printing/labelprintdialog.h"

#include "printing/labelfields.h"
#include "ui/mainlist.h"
#include "ui/platform/openedarchive.h"
#include "ui/widgets/workprogress.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {
namespace T {
const QString caption = QStringLiteral("Stampa etichette");
const QString plants = QStringLiteral("P&iante");
const QString all = QStringLiteral("&Tutte");
const QString none = QStringLiteral("&Nessuna");
const QString sheet = QStringLiteral("Foglio");
const QString format = QStringLiteral("&Formato:");
const QString own = QStringLiteral("Formato proprio");
const QString rows = QStringLiteral("&Righe:");
const QString columns = QStringLiteral("C&olonne:");
const QString width = QStringLiteral("&Larghezza:");
const QString height = QStringLiteral("Alte&zza:");
const QString left = QStringLiteral("Margine sinistro:");
const QString top = QStringLiteral("Margine superiore:");
const QString columnGap = QStringLiteral("Spazio tra colonne:");
const QString rowGap = QStringLiteral("Spazio tra righe:");
const QString firstLabel = QStringLiteral("&Prima etichetta libera:");
const QString fields = QStringLiteral("C&ampi sull'etichetta");
const QString up = QStringLiteral("S&u");
const QString down = QStringLiteral("&Giù");
const QString code = QStringLiteral("Codice &QR (chiave, specie, identificazione)");
const QString preview = QStringLiteral("Anteprima di stampa");
const QString print = QStringLiteral("&Stampa...");
const QString close = QStringLiteral("&Chiudi");
const QString summary = QStringLiteral("Etichette: %1, fogli: %2");
const QString offSheet =
    QStringLiteral("Le etichette escono dal foglio A4: controlla misure e margini.");
const QString noneChosen = QStringLiteral("Nessuna pianta scelta per le etichette.");
const QString reading = QStringLiteral("Lettura delle piante...");
const QString printing = QStringLiteral("Stampa delle etichette...");
const QString cancel = QStringLiteral("Annulla");
const QString cancelled = QStringLiteral("Stampa annullata");
const QString failed = QStringLiteral("Stampa non riuscita.");
const QString readFailed = QStringLiteral("Impossibile leggere le piante: ");
const QString mm = QStringLiteral(" mm");
const QString document = QStringLiteral("Etichette");
} // namespace T

// Work that takes longer than this shows its progress, with "Annulla".

QString withoutMnemonic(QString text) {
    return text.remove(QLatin1Char('&'));
}

// A caption for `box`, its buddy, naming it for screen readers.
QLabel *captionOf(QWidget *box, const QString &text) {
    auto *label = new QLabel(text, box->parentWidget());
    label->setBuddy(box);
    box->setAccessibleName(withoutMnemonic(text));
    return label;
}

QDoubleSpinBox *millimetres(QWidget *parent, const char *name) {
    auto *box = new QDoubleSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setDecimals(2);
    box->setRange(0, LabelSheet::a4.height());
    box->setSingleStep(0.5);
    box->setSuffix(T::mm);
    return box;
}

void setUpA4(QPrinter &printer) {
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    // Painted from the paper's corner, the labels' own positions.
    printer.setFullPage(true);
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    printer.setDocName(T::document);
}

// The plant as its row in the list names it.
QString plantName(const Plant &plant) {
    const QString specie = plant.value(QStringLiteral("specie")).toString().trimmed();
    const QString name = plant.value(QStringLiteral("identificazione")).toString().trimmed();
    return specie.isEmpty() || name.isEmpty() ? specie + name
                                              : specie + QStringLiteral(" - ") + name;
}
} // namespace

LabelPrintDialog::LabelPrintDialog(AppContext &ctx, MainList &main, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_main(main),
      m_choices(LabelChoices::load(ctx.folder.labelChoicesPath())) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName("LabelPrintDialog");
    setWindowTitle(T::caption);
    resize(1120, 720);

    // The plants.
    auto *plantBox = new QGroupBox(this);
    plantList = new QListWidget(plantBox);
    plantList->setObjectName("plantList");
    auto *plantCaption = captionOf(plantList, T::plants);
    allButton = new QPushButton(T::all, plantBox);
    allButton->setObjectName("allButton");
    noneButton = new QPushButton(T::none, plantBox);
    noneButton->setObjectName("noneButton");
    auto *plantButtons = new QHBoxLayout;
    plantButtons->addWidget(allButton);
    plantButtons->addWidget(noneButton);
    auto *plantLayout = new QVBoxLayout(plantBox);
    plantLayout->addWidget(plantCaption);
    plantLayout->addWidget(plantList);
    plantLayout->addLayout(plantButtons);

    // The sheet.
    auto *sheetBox = new QGroupBox(T::sheet, this);
    formatCombo = new QComboBox(sheetBox);
    formatCombo->setObjectName("formatCombo");
    for (const LabelSheet &s : LabelSheet::commercial())
        formatCombo->addItem(s.name);
    formatCombo->addItem(T::own);
    rowsSpin = new QSpinBox(sheetBox);
    rowsSpin->setObjectName("rowsSpin");
    rowsSpin->setRange(1, 40);
    columnsSpin = new QSpinBox(sheetBox);
    columnsSpin->setObjectName("columnsSpin");
    columnsSpin->setRange(1, 20);
    widthSpin = millimetres(sheetBox, "widthSpin");
    heightSpin = millimetres(sheetBox, "heightSpin");
    leftSpin = millimetres(sheetBox, "leftSpin");
    topSpin = millimetres(sheetBox, "topSpin");
    columnGapSpin = millimetres(sheetBox, "columnGapSpin");
    rowGapSpin = millimetres(sheetBox, "rowGapSpin");
    firstLabelSpin = new QSpinBox(sheetBox);
    firstLabelSpin->setObjectName("firstLabelSpin");
    auto *sheetLayout = new QFormLayout(sheetBox);
    sheetLayout->addRow(captionOf(formatCombo, T::format), formatCombo);
    sheetLayout->addRow(captionOf(rowsSpin, T::rows), rowsSpin);
    sheetLayout->addRow(captionOf(columnsSpin, T::columns), columnsSpin);
    sheetLayout->addRow(captionOf(widthSpin, T::width), widthSpin);
    sheetLayout->addRow(captionOf(heightSpin, T::height), heightSpin);
    sheetLayout->addRow(captionOf(leftSpin, T::left), leftSpin);
    sheetLayout->addRow(captionOf(topSpin, T::top), topSpin);
    sheetLayout->addRow(captionOf(columnGapSpin, T::columnGap), columnGapSpin);
    sheetLayout->addRow(captionOf(rowGapSpin, T::rowGap), rowGapSpin);
    sheetLayout->addRow(captionOf(firstLabelSpin, T::firstLabel), firstLabelSpin);

    // The fields, those chosen first in their order, then the others.
    auto *fieldBox = new QGroupBox(this);
    fieldList = new QListWidget(fieldBox);
    fieldList->setObjectName("fieldList");
    fieldList->setDragDropMode(QAbstractItemView::InternalMove);
    auto *fieldCaption = captionOf(fieldList, T::fields);
    QList<LabelFields::Offered> offered = LabelFields::offered();
    std::stable_sort(offered.begin(), offered.end(),
                     [this](const LabelFields::Offered &a, const LabelFields::Offered &b) {
                         const auto rank = [this](const QString &c) {
                             const qsizetype i = m_choices.fields.indexOf(c);
                             return i < 0 ? m_choices.fields.size() : i;
                         };
                         return rank(a.column) < rank(b.column);
                     });
    for (const LabelFields::Offered &f : offered) {
        auto *item = new QListWidgetItem(f.caption, fieldList);
        item->setData(Qt::UserRole, f.column);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(m_choices.fields.contains(f.column) ? Qt::Checked : Qt::Unchecked);
    }
    fieldList->setCurrentRow(0);
    upButton = new QPushButton(T::up, fieldBox);
    upButton->setObjectName("upButton");
    downButton = new QPushButton(T::down, fieldBox);
    downButton->setObjectName("downButton");
    codeCheck = new QCheckBox(T::code, fieldBox);
    codeCheck->setObjectName("codeCheck");
    codeCheck->setAccessibleName(withoutMnemonic(T::code));
    codeCheck->setChecked(m_choices.code);
    auto *fieldButtons = new QHBoxLayout;
    fieldButtons->addWidget(upButton);
    fieldButtons->addWidget(downButton);
    auto *fieldLayout = new QVBoxLayout(fieldBox);
    fieldLayout->addWidget(fieldCaption);
    fieldLayout->addWidget(fieldList);
    fieldLayout->addLayout(fieldButtons);
    fieldLayout->addWidget(codeCheck);

    // The preview, from a printer of its own that never prints.
    m_previewPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
    setUpA4(*m_previewPrinter);
    preview = new QPrintPreviewWidget(m_previewPrinter.get(), this);
    preview->setObjectName("preview");
    preview->setAccessibleName(T::preview);
    preview->setZoomMode(QPrintPreviewWidget::FitToWidth);
    connect(preview, &QPrintPreviewWidget::paintRequested, this, &LabelPrintDialog::paintPreview);

    summaryLabel = new QLabel(this);
    summaryLabel->setObjectName("summaryLabel");
    summaryLabel->setWordWrap(true);
    printButton = new QPushButton(T::print, this);
    printButton->setObjectName("printButton");
    printButton->setDefault(true);
    closeButton = new QPushButton(T::close, this);
    closeButton->setObjectName("closeButton");

    auto *settings = new QVBoxLayout;
    settings->addWidget(sheetBox);
    settings->addWidget(fieldBox, 1);
    auto *columnsLayout = new QHBoxLayout;
    columnsLayout->addWidget(plantBox, 2);
    columnsLayout->addLayout(settings, 2);
    columnsLayout->addWidget(preview, 3);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(summaryLabel, 1);
    bottom->addWidget(printButton);
    bottom->addWidget(closeButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(columnsLayout, 1);
    layout->addLayout(bottom);

    // Tab goes through the window as it reads: the plants, the sheet, the fields, the buttons.
    const QList<QWidget *> order = {
        plantList,  allButton,  noneButton, formatCombo,   rowsSpin,    columnsSpin,    widthSpin,
        heightSpin, leftSpin,   topSpin,    columnGapSpin, rowGapSpin,  firstLabelSpin, fieldList,
        upButton,   downButton, codeCheck,  preview,       printButton, closeButton};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));

    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(150);
    connect(m_refreshTimer, &QTimer::timeout, this, &LabelPrintDialog::refresh);

    readPlants();
    formatCombo->setCurrentIndex(m_choices.format);
    showSheet();

    connect(allButton, &QPushButton::clicked, this, [this] {
        for (int i = 0; i < plantList->count(); ++i)
            plantList->item(i)->setCheckState(Qt::Checked);
    });
    connect(noneButton, &QPushButton::clicked, this, [this] {
        for (int i = 0; i < plantList->count(); ++i)
            plantList->item(i)->setCheckState(Qt::Unchecked);
    });
    connect(plantList, &QListWidget::itemChanged, this, &LabelPrintDialog::choicesChanged);
    connect(formatCombo, &QComboBox::currentIndexChanged, this, &LabelPrintDialog::showSheet);
    for (QSpinBox *box : {rowsSpin, columnsSpin})
        connect(box, &QSpinBox::valueChanged, this, &LabelPrintDialog::ownSheetEdited);
    for (QDoubleSpinBox *box :
         {widthSpin, heightSpin, leftSpin, topSpin, columnGapSpin, rowGapSpin})
        connect(box, &QDoubleSpinBox::valueChanged, this, &LabelPrintDialog::ownSheetEdited);
    connect(firstLabelSpin, &QSpinBox::valueChanged, this, &LabelPrintDialog::choicesChanged);
    connect(fieldList, &QListWidget::itemChanged, this, &LabelPrintDialog::choicesChanged);
    connect(fieldList->model(), &QAbstractItemModel::rowsMoved, this,
            &LabelPrintDialog::choicesChanged);
    connect(upButton, &QPushButton::clicked, this, [this] { moveField(-1); });
    connect(downButton, &QPushButton::clicked, this, [this] { moveField(1); });
    connect(codeCheck, &QCheckBox::toggled, this, &LabelPrintDialog::choicesChanged);
    connect(printButton, &QPushButton::clicked, this, &LabelPrintDialog::print);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
    plantList->setFocus();
    refresh();
}

LabelPrintDialog::~LabelPrintDialog() = default;

void LabelPrintDialog::readPlants() {
    const QList<PlantKey> keys = m_main.listedPlants();
    WorkProgress progress(T::reading, T::cancel, int(keys.size()), this);
    OpenedArchive archive(m_ctx);
    if (!archive.isOpen()) {
        m_ctx.messages->show(T::readFailed + archive.lastError(), Messages::Icon::Exclamation);
        return;
    }
    for (qsizetype i = 0; i < keys.size() && !progress.wasCanceled(); ++i) {
        progress.setValue(int(i));
        const PlantKey &key = keys.at(i);
        if (!key.wholeKey)
            continue; // a plant no window can open by its key gets no label either
        const auto plant = archive.plant(key.id, key.rowid);
        if (!plant)
            continue; // gone since the list was filled
        m_plants.append(*plant);
        auto *item = new QListWidgetItem(plantName(*plant), plantList);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    if (plantList->count() > 0)
        plantList->setCurrentRow(0);
}

LabelSheet LabelPrintDialog::sheet() const {
    return currentChoices().sheet();
}

LabelChoices LabelPrintDialog::currentChoices() const {
    LabelChoices c = m_choices;
    c.format = formatCombo->currentIndex();
    c.fields.clear();
    for (int i = 0; i < fieldList->count(); ++i)
        if (fieldList->item(i)->checkState() == Qt::Checked)
            c.fields << fieldList->item(i)->data(Qt::UserRole).toString();
    c.code = codeCheck->isChecked();
    return c;
}

QList<LabelComposer::Label> LabelPrintDialog::labels() const {
    const LabelChoices c = currentChoices();
    QList<LabelComposer::Label> labels;
    for (int i = 0; i < plantList->count(); ++i) {
        if (plantList->item(i)->checkState() != Qt::Checked)
            continue;
        const Plant &plant = m_plants.at(i);
        labels.append({LabelFields::lines(plant, c.fields),
                       c.code ? LabelFields::codeText(plant) : QString()});
    }
    return labels;
}

// The boxes show the sheet chosen; only the user's own can be changed.
void LabelPrintDialog::showSheet() {
    m_showing = true;
    const LabelSheet s = sheet();
    rowsSpin->setValue(s.rows);
    columnsSpin->setValue(s.columns);
    widthSpin->setValue(s.label.width());
    heightSpin->setValue(s.label.height());
    leftSpin->setValue(s.left);
    topSpin->setValue(s.top);
    columnGapSpin->setValue(s.columnGap);
    rowGapSpin->setValue(s.rowGap);
    const bool own = currentChoices().ownSheet();
    for (QWidget *box : {static_cast<QWidget *>(rowsSpin), static_cast<QWidget *>(columnsSpin),
                         static_cast<QWidget *>(widthSpin), static_cast<QWidget *>(heightSpin),
                         static_cast<QWidget *>(leftSpin), static_cast<QWidget *>(topSpin),
                         static_cast<QWidget *>(columnGapSpin), static_cast<QWidget *>(rowGapSpin)})
        box->setEnabled(own);
    firstLabelSpin->setRange(1, s.perSheet());
    m_showing = false;
    choicesChanged();
}

void LabelPrintDialog::ownSheetEdited() {
    if (m_showing || !currentChoices().ownSheet())
        return;
    LabelSheet &own = m_choices.own;
    own.rows = rowsSpin->value();
    own.columns = columnsSpin->value();
    own.label = {widthSpin->value(), heightSpin->value()};
    own.left = leftSpin->value();
    own.top = topSpin->value();
    own.columnGap = columnGapSpin->value();
    own.rowGap = rowGapSpin->value();
    firstLabelSpin->setRange(1, own.perSheet());
    choicesChanged();
}

void LabelPrintDialog::moveField(int by) {
    const int row = fieldList->currentRow();
    const int to = row + by;
    if (row < 0 || to < 0 || to >= fieldList->count())
        return;
    QListWidgetItem *item = fieldList->takeItem(row);
    fieldList->insertItem(to, item);
    fieldList->setCurrentRow(to);
    choicesChanged();
}

void LabelPrintDialog::choicesChanged() {
    if (!m_showing)
        m_refreshTimer->start();
}

void LabelPrintDialog::refresh() {
    m_refreshTimer->stop();
    const LabelSheet s = sheet();
    if (!s.fitsOnA4()) {
        summaryLabel->setText(T::offSheet);
    } else {
        const LabelComposer composer(s, firstLabelSpin->value() - 1);
        const int count = int(labels().size());
        summaryLabel->setText(T::summary.arg(count).arg(composer.pageCount(count)));
    }
    summaryLabel->setAccessibleName(summaryLabel->text());
    preview->updatePreview();
}

void LabelPrintDialog::paintPreview(QPrinter *printer) {
    const LabelSheet s = sheet();
    QPainter painter(printer);
    if (!s.fitsOnA4())
        return;
    LabelComposer(s, firstLabelSpin->value() - 1).paint(painter, *printer, labels());
}

bool LabelPrintDialog::print() {
    m_refreshTimer->stop();
    const QList<LabelComposer::Label> chosen = labels();
    const LabelSheet s = sheet();
    if (chosen.isEmpty()) {
        m_ctx.messages->show(T::noneChosen, Messages::Icon::Exclamation);
        return false;
    }
    if (!s.fitsOnA4()) {
        m_ctx.messages->show(T::offSheet, Messages::Icon::Exclamation);
        return false;
    }
    currentChoices().save(m_ctx.folder.labelChoicesPath());
    QPrinter printer(QPrinter::HighResolution);
    setUpA4(printer);
    if (!m_ctx.printer->choose(printer, this, false))
        return false;
    QPainter painter;
    if (!painter.begin(&printer)) {
        m_ctx.messages->show(T::failed, Messages::Icon::Exclamation);
        return false;
    }
    WorkProgress progress(T::printing, T::cancel, int(chosen.size()), this);
    const bool whole = LabelComposer(s, firstLabelSpin->value() - 1)
                           .paint(painter, printer, chosen, [&progress](int done) {
                               progress.setValue(done);
                               return !progress.wasCanceled();
                           });
    if (!whole) {
        printer.abort();
        painter.end();
        m_ctx.messages->show(T::cancelled, Messages::Icon::None);
        return false;
    }
    if (!painter.end()) {
        m_ctx.messages->show(T::failed, Messages::Icon::Exclamation);
        return false;
    }
    return true;
}

void LabelPrintDialog::done(int result) {
    currentChoices().save(m_ctx.folder.labelChoicesPath());
    QDialog::done(result);
}
