#include "about/aboutdialog.h"

#include "about/readkeyvalue.h"
#include "ui/widgets/fonts.h"
#include "ui/widgets/twips.h"

#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

namespace {
namespace T {
const QString appTitle = QStringLiteral("Silvaro");
const QString captionPrefix = QStringLiteral("Informazioni su ");
const QString version = QStringLiteral("Versione ");
const QString description =
    QStringLiteral("Registro delle piante della collezione e delle cure di ogni pianta: "
                   "annaffiature, concimazioni, fioriture, rinvasi e ogni altro intervento.");
const QString ok = QStringLiteral("OK");
const QString sysInfo = QStringLiteral("&System Info...");
const QString noSysInfo =
    QStringLiteral("Le informazioni sul sistema non sono attualmente disponibili.");
const QString msinfoKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString msinfoLocationKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
} // namespace T

// The program's own small pictures: a potted seedling and a leaf icon.
QPixmap seedling(int w, int h) {
    QPixmap pm(w, h);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(170, 90, 50));
    p.drawPolygon(QPolygonF({QPointF(w * 0.2, h * 0.62), QPointF(w * 0.8, h * 0.62),
                             QPointF(w * 0.68, h - 1.0), QPointF(w * 0.32, h - 1.0)}));
    p.setPen(QPen(QColor(40, 110, 50), 1.5));
    p.drawLine(QPointF(w * 0.5, h * 0.62), QPointF(w * 0.5, h * 0.25));
    p.setBrush(QColor(60, 150, 70));
    p.drawEllipse(QRectF(w * 0.5, h * 0.12, w * 0.4, h * 0.16));
    p.drawEllipse(QRectF(w * 0.1, h * 0.3, w * 0.4, h * 0.16));
    return pm;
}

QPixmap leaf(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.moveTo(size * 0.15, size * 0.85);
    path.cubicTo(size * 0.05, size * 0.3, size * 0.5, size * 0.05, size * 0.9, size * 0.1);
    path.cubicTo(size * 0.95, size * 0.55, size * 0.6, size * 0.95, size * 0.15, size * 0.85);
    p.setPen(QPen(QColor(20, 60, 110), 1));
    p.setBrush(QColor(34, 80, 139));
    p.drawPath(path);
    p.setPen(QPen(Qt::white, 1));
    p.drawLine(QPointF(size * 0.15, size * 0.85), QPointF(size * 0.8, size * 0.2));
    return pm;
}
} // namespace

AboutDialog::AboutDialog(AppContext &ctx, QWidget *parent) : QDialog(parent), m_ctx(ctx) {
    setObjectName("AboutDialog");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(Twips::px(5730), Twips::px(3555));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setFont(Fonts::sans(8.25));

    seedlingPicture = new QLabel(this);
    seedlingPicture->setObjectName("seedlingPicture");
    seedlingPicture->setPixmap(seedling(30, 42));
    Twips::place(seedlingPicture, 450, 210, 510, 690);
    leafIcon = new QLabel(this);
    leafIcon->setObjectName("leafIcon");
    leafIcon->setPixmap(leaf(32));
    Twips::place(leafIcon, 960, 210, 480, 480);

    titleLabel = new QLabel(this);
    titleLabel->setObjectName("titleLabel");
    titleLabel->setFont(Fonts::sans(18, true));
    Twips::place(titleLabel, 1500, 240, 3435, 480);
    versionLabel = new QLabel(this);
    versionLabel->setObjectName("versionLabel");
    Twips::place(versionLabel, 1050, 780, 3885, 225);
    descriptionLabel = new QLabel(T::description, this);
    descriptionLabel->setObjectName("descriptionLabel");
    descriptionLabel->setWordWrap(true);
    descriptionLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Twips::place(descriptionLabel, 1050, 1125, 3885, 750);

    okButton = new QPushButton(T::ok, this);
    okButton->setObjectName("okButton");
    okButton->setDefault(true);
    Twips::place(okButton, 4245, 2625, 1260, 345);
    systemInfoButton = new QPushButton(T::sysInfo, this);
    systemInfoButton->setObjectName("systemInfoButton");
    systemInfoButton->setAccessibleName(QStringLiteral("System Info..."));
    Twips::place(systemInfoButton, 4260, 3075, 1245, 345);
    connect(okButton, &QPushButton::clicked, this, &QDialog::close);
    connect(systemInfoButton, &QPushButton::clicked, this, &AboutDialog::startSystemInfo);

    setWindowTitle(T::captionPrefix + T::appTitle);
    versionLabel->setText(
        versionText(SILVARO_VERSION_MAJOR, SILVARO_VERSION_MINOR, SILVARO_VERSION_PATCH));
    titleLabel->setText(T::appTitle);
}

QString AboutDialog::versionText(int major, int minor, int revision) {
    return T::version + QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(revision);
}

void AboutDialog::startSystemInfo() {
    const Registry &registry = *m_ctx.registry;
    QString program;
    if (!readKeyValue(registry, T::msinfoKey, "PATH", program)) {
        QString folder;
        if (readKeyValue(registry, T::msinfoLocationKey, "MSINFO", folder) &&
            QFile::exists(folder + "/MSINFO32.EXE"))
            program = folder + "/MSINFO32.EXE";
        else
            program.clear();
        if (program.isEmpty()) {
            m_ctx.messages->show(T::noSysInfo);
            return;
        }
    }
    if (!registry.launch(program))
        m_ctx.messages->show(T::noSysInfo);
}

void AboutDialog::paintEvent(QPaintEvent *e) {
    QDialog::paintEvent(e);
    // The etched separator: a grey line with a white one just below it.
    QPainter p(this);
    p.setPen(QColor(128, 128, 128));
    p.drawLine(Twips::px(90), Twips::px(2445), Twips::px(5654), Twips::px(2445));
    p.setPen(Qt::white);
    p.drawLine(Twips::px(105), Twips::px(2460), Twips::px(5654), Twips::px(2460));
}
