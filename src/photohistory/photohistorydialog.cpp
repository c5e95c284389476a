#include "photohistory/photohistorydialog.h"

#include "archive/conversions.h"
#include "archive/photofiles.h"
#include "photohistory/comparepane.h"
#include "photohistory/exifdate.h"
#include "photohistory/photodetailsdialog.h"
#include "photohistory/thumbnailloader.h"
#include "ui/platform/openedarchive.h"
#include "ui/widgets/workprogress.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

namespace T {
const QString title = QStringLiteral("Storia fotografica");
const QString aggiungi = QStringLiteral("&Aggiungi foto...");
const QString modifica = QStringLiteral("&Modifica data e nota...");
const QString elimina = QStringLiteral("&Elimina foto");
const QString usa = QStringLiteral("&Usa come immagine della scheda");
const QString chiudi = QStringLiteral("&Chiudi");
const QString timeline = QStringLiteral("Foto dalla più vecchia alla più recente");
const QString left = QStringLiteral("Prima foto scelta");
const QString right = QStringLiteral("Seconda foto scelta");
const QString chooseTwo =
    QStringLiteral("Scegliere due foto (Ctrl e clic) per vederle una accanto all'altra");
const QString sameDay = QStringLiteral("Quel giorno: %1");
const QString copying = QStringLiteral("Copia delle foto in corso...");
const QString annulla = QStringLiteral("Annulla");
const QString notAdded = QStringLiteral("Alcune foto non sono state aggiunte:\n%1");
const QString askDelete =
    QStringLiteral("Eliminare la foto del %1? Anche il file viene cancellato.");
const QString failed = QStringLiteral("Operazione non riuscita: %1");
const QString readOnly = QStringLiteral("L'archivio è aperto in sola lettura: le foto non si "
                                        "possono cambiare.");
const QString filter = QStringLiteral("Foto (*.jpg; *.png; *.bmp) (*.jpg *.jpeg *.png *.bmp *.gif "
                                      "*.JPG *.JPEG *.PNG *.BMP *.GIF)");
} // namespace T

namespace {
constexpr int edge = 128;

QString dayText(const QDate &date) {
    return date.isValid() ? date.toString(QStringLiteral("dd/MM/yyyy")) : QStringLiteral("-");
}
} // namespace

PhotoHistoryDialog::PhotoHistoryDialog(AppContext &ctx, qint64 key,
                                       MainList::PictureChoice useAsCardPicture, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_key(key), m_useAsCardPicture(std::move(useAsCardPicture)),
      m_cache(PhotoFiles(ctx.folder).thumbnailFolder(key), edge) {
    setObjectName(QStringLiteral("photoHistory"));
    setWindowTitle(T::title);
    setAttribute(Qt::WA_DeleteOnClose);
    resize(1000, 640);

    timeline = new QListWidget(this);
    timeline->setObjectName(QStringLiteral("timeline"));
    timeline->setAccessibleName(T::timeline);
    timeline->setIconSize(QSize(edge, edge));
    timeline->setSelectionMode(QAbstractItemView::ExtendedSelection);
    timeline->setWordWrap(true);
    timeline->setUniformItemSizes(true);
    timeline->setMinimumWidth(340);

    auto button = [this](const QString &caption, const char *name) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
        b->setAutoDefault(false);
        return b;
    };
    addButton = button(T::aggiungi, "addButton");
    editButton = button(T::modifica, "editButton");
    deleteButton = button(T::elimina, "deleteButton");
    useButton = button(T::usa, "useButton");
    closeButton = button(T::chiudi, "closeButton");

    leftPane = new ComparePane(this);
    leftPane->setObjectName(QStringLiteral("leftPane"));
    leftPane->setAccessibleName(T::left);
    rightPane = new ComparePane(this);
    rightPane->setObjectName(QStringLiteral("rightPane"));
    rightPane->setAccessibleName(T::right);
    m_leftLabel = new QLabel(T::chooseTwo, this);
    m_rightLabel = new QLabel(this);
    for (QLabel *l : {m_leftLabel, m_rightLabel})
        l->setAlignment(Qt::AlignCenter);

    auto *compare = new QWidget(this);
    auto *grid = new QHBoxLayout(compare);
    for (auto [label, pane] :
         {std::pair{m_leftLabel, leftPane}, std::pair{m_rightLabel, rightPane}}) {
        auto *column = new QVBoxLayout;
        column->addWidget(label);
        column->addWidget(pane, 1);
        grid->addLayout(column, 1);
    }
    auto *split = new QSplitter(this);
    split->addWidget(timeline);
    split->addWidget(compare);
    split->setStretchFactor(1, 1);

    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {addButton, editButton, deleteButton, useButton})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(closeButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(split, 1);
    layout->addLayout(buttons);

    connect(addButton, &QPushButton::clicked, this, &PhotoHistoryDialog::addPhotos);
    connect(editButton, &QPushButton::clicked, this, &PhotoHistoryDialog::editPhoto);
    connect(deleteButton, &QPushButton::clicked, this, &PhotoHistoryDialog::deletePhoto);
    connect(useButton, &QPushButton::clicked, this, &PhotoHistoryDialog::useAsCardPicture);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(timeline, &QListWidget::itemSelectionChanged, this, &PhotoHistoryDialog::showChosen);
    connect(timeline, &QListWidget::itemActivated, this, &PhotoHistoryDialog::editPhoto);

    const bool writable = !m_ctx.state.archiveReadOnly;
    addButton->setEnabled(writable);
    if (!writable)
        addButton->setToolTip(T::readOnly);
    showPhotos();
    timeline->setFocus();
}

PhotoHistoryDialog::~PhotoHistoryDialog() = default;

QString PhotoHistoryDialog::pathOf(const Photo &photo) const {
    return PhotoFiles(m_ctx.folder).path(photo);
}

void PhotoHistoryDialog::showPhotos() {
    m_loader.reset(); // the thumbnails of the last fill stop coming
    m_thumbnails.clear();
    m_shown = 0;
    timeline->clear();
    PhotoArchive archive(m_ctx.folder.archivePath());
    const auto photos = archive.photos(m_key);
    if (!photos) {
        m_ctx.messages->show(T::failed.arg(archive.error()), Messages::Icon::Exclamation);
        m_photos.clear();
        showChosen();
        return;
    }
    m_photos = *photos;
    // The care of each day, by its types, in the order it was done.
    QHash<QDate, QStringList> care;
    {
        OpenedArchive events(m_ctx);
        if (events.isOpen())
            if (const auto rows = events.events(m_key, Archive::EventOrder::ByDate))
                for (const CareEvent &r : *rows) {
                    const QDate day = Conversions::isoDatePrefix(r.value("datatratt").toString());
                    const QString what = r.value("intervento").toString().trimmed();
                    if (day.isValid() && !what.isEmpty() && !care[day].contains(what))
                        care[day] << what;
                }
    }
    QPixmap blank(edge, edge);
    blank.fill(Qt::transparent);
    QStringList paths;
    for (const Photo &p : m_photos) {
        QString text = dayText(p.data);
        if (!p.nota.isEmpty())
            text += QLatin1Char('\n') + p.nota;
        if (care.contains(p.data))
            text +=
                QLatin1Char('\n') + T::sameDay.arg(care.value(p.data).join(QStringLiteral(", ")));
        auto *item = new QListWidgetItem(QIcon(blank), text, timeline);
        item->setData(Qt::AccessibleTextRole,
                      QString(text).replace(QLatin1Char('\n'), QStringLiteral(", ")));
        paths << pathOf(p);
    }
    showChosen();
    if (paths.isEmpty()) {
        emit thumbnailsLoaded();
        return;
    }
    m_loader = std::make_unique<ThumbnailLoader>(m_cache, paths);
    connect(m_loader.get(), &ThumbnailLoader::loaded, this, &PhotoHistoryDialog::thumbnailArrived);
    m_loader->start(QThread::LowPriority);
}

void PhotoHistoryDialog::thumbnailArrived(int index, const QImage &thumbnail) {
    if (QListWidgetItem *item = timeline->item(index); item && !thumbnail.isNull()) {
        m_thumbnails.insert(index, thumbnail);
        item->setIcon(QIcon(QPixmap::fromImage(thumbnail)));
    }
    if (++m_shown == m_photos.size())
        emit thumbnailsLoaded();
}

const Photo *PhotoHistoryDialog::current() const {
    const int row = timeline->currentRow();
    if (row < 0 || row >= m_photos.size() || !timeline->item(row)->isSelected())
        return nullptr;
    return &m_photos.at(row);
}

// The first two photos chosen, in the timeline's order: the older on the left.
void PhotoHistoryDialog::showChosen() {
    QList<int> rows;
    for (const QListWidgetItem *item : timeline->selectedItems())
        rows << timeline->row(item);
    std::sort(rows.begin(), rows.end());
    const auto show = [&](int n, ComparePane *pane, QLabel *label) {
        if (n < rows.size()) {
            const Photo &p = m_photos.at(rows.at(n));
            pane->showPhoto(pathOf(p), m_thumbnails.value(rows.at(n)));
            label->setText(p.nota.isEmpty() ? dayText(p.data) : dayText(p.data) + " - " + p.nota);
        } else {
            pane->showPhoto(QString(), QImage());
            label->setText(n == 0 ? T::chooseTwo : QString());
        }
    };
    show(0, leftPane, m_leftLabel);
    show(1, rightPane, m_rightLabel);
    const bool one = current() && !m_ctx.state.archiveReadOnly;
    editButton->setEnabled(one);
    deleteButton->setEnabled(one);
    useButton->setEnabled(one);
}

void PhotoHistoryDialog::addPhotos() {
    const QStringList chosen = m_ctx.files->openFiles(this, T::filter);
    if (chosen.isEmpty())
        return;
    WorkProgress progress(T::copying, T::annulla, int(chosen.size()), this);
    progress.setMinimumDuration(300);
    QStringList refused;
    PhotoFiles files(m_ctx.folder);
    for (int i = 0; i < chosen.size() && !progress.wasCanceled(); ++i) {
        progress.setValue(i);
        QCoreApplication::processEvents();
        QString error;
        if (!files.add(m_key, chosen.at(i), ExifDate::taken(chosen.at(i)), QString(), &error))
            refused << error;
    }
    progress.setValue(int(chosen.size()));
    showPhotos();
    if (!refused.isEmpty())
        m_ctx.messages->show(T::notAdded.arg(refused.join(QLatin1Char('\n'))),
                             Messages::Icon::Exclamation);
}

void PhotoHistoryDialog::editPhoto() {
    const Photo *photo = current();
    if (!photo || m_ctx.state.archiveReadOnly)
        return;
    auto *details = new PhotoDetailsDialog(photo->data, photo->nota, this);
    details->setAttribute(Qt::WA_DeleteOnClose);
    const qint64 id = photo->idfoto;
    connect(details, &QDialog::accepted, this, [this, details, id] {
        PhotoArchive archive(m_ctx.folder.archivePath());
        if (!archive.update(id, details->date(), details->note()))
            m_ctx.messages->show(T::failed.arg(archive.error()), Messages::Icon::Exclamation);
        showPhotos();
    });
    m_ctx.modal->run(details);
}

void PhotoHistoryDialog::deletePhoto() {
    const Photo *chosen = current();
    if (!chosen || m_ctx.state.archiveReadOnly)
        return;
    const Photo photo = *chosen;
    if (!m_ctx.messages->askYesNo(T::askDelete.arg(dayText(photo.data)), Messages::Icon::Question))
        return;
    QString error;
    if (!PhotoFiles(m_ctx.folder).remove(photo, &error))
        m_ctx.messages->show(T::failed.arg(error), Messages::Icon::Exclamation);
    showPhotos();
}

void PhotoHistoryDialog::useAsCardPicture() {
    const Photo *photo = current();
    if (!photo || !m_useAsCardPicture)
        return;
    QString error;
    if (!m_useAsCardPicture(pathOf(*photo), &error))
        m_ctx.messages->show(T::failed.arg(error), Messages::Icon::Exclamation);
}
