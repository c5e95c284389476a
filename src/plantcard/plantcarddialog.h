#pragma once

#include "ui/appcontext.h"
#include "ui/widgets/heldpicture.h"

#include <QDialog>
#include <QHash>
#include <QImage>

class MainList;
class PictureBox;
class QCalendarWidget;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TabPanel;

// The plant card editor. Opened with no plant selected it enters new cards, one after the
// other; opened for the selected plant it loads that card, and "OK" saves it and closes. It
// has one box for each field the field table lets the user type, named by its column. A
// chosen picture is only staged here and copied into the plant's folder on saving. Closing
// refreshes the main window's list.
class PlantCardDialog : public QDialog {
    Q_OBJECT
public:
    // Opened for `card`, or for new cards when its key is 0.
    PlantCardDialog(AppContext &ctx, MainList &main, const PlantKey &card,
                    QWidget *parent = nullptr);

    void saveCard();      // "OK": stores the card and says so
    void choosePicture(); // "Sfoglia....": stages a picture
    void showCalendar();  // "...": shows the calendar of the purchase date
    void pickDate(const QDate &date);

    // The box of a field (a QLineEdit or a QPlainTextEdit), by its column.
    QWidget *editor(const QString &column) const { return m_editors.value(column); }
    QLineEdit *lineEdit(const QString &column) const;
    // The key of the card being changed; 0 while new cards are entered.
    qint64 cardKey() const { return m_key; }
    // The picture to show or copy (full path) and its name as stored; empty for none.
    const QString &stagedPicturePath() const { return m_picturePath; }
    const QString &stagedPictureName() const { return m_pictureName; }
    // A new picture was chosen since the card was loaded.
    bool pictureChanged() const { return m_pictureChanged; }

    QGroupBox *dataFrame;       // "Dati"
    TabPanel *tabs;             // "Identificazione", "Coltivazione", "Altri dati"
    PictureBox *picturePreview; // the plant's picture, fitted
    HeldPicture heldPicture;    // the picture at its natural size
    QPushButton *cancelButton, *okButton, *browseButton, *calendarButton;
    QPushButton *photosButton; // the plant's photo history
    QCalendarWidget *purchaseCalendar;

signals:
    // A card was stored under this key (a new one, or the one opened).
    void cardSaved(qint64 key);
    // The window is closing (by any way out), once; the opener refills its list.
    void closing();

protected:
    void done(int result) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildFrame();
    void buildEditors();
    void buildCalendar(QWidget *page);

    void load();
    void hideCalendar();
    void stagePicture(const QString &path, const QString &name);
    // Shows the picture and stages it for the save; false when it cannot be read.
    bool takePicture(const QString &path, const QString &name);

    bool updateCard(QString *error);
    bool insertCard(QString *error);
    void fillEmptyBoxes();
    QList<QPair<QString, QString>> fieldTexts() const;
    void emptyBoxes();

    QString text(const QString &column) const;
    void setText(const QString &column, const QString &value);

    AppContext &m_ctx;
    MainList &m_main;
    qint64 m_key = 0;
    qint64 m_row = 0; // the list row the card was opened from, 0 for the key alone
    QHash<QString, QWidget *> m_editors; // by column
    QString m_picturePath, m_pictureName;
    bool m_pictureChanged = false;
    bool m_closing = false;
};
