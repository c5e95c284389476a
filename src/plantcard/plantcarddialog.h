#pragma once

#include "archive/records.h"
#include "ui/appcontext.h"
#include "ui/heldpicture.h"

#include <QDialog>
#include <QHash>
#include <QImage>

class MainList;
class PictureBox;
class QCalendarWidget;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TabPanel;

// The plant card editor. Opened with `idpianta` 0 it enters new cards, one after the other;
// opened with a plant's key it loads that card, and "OK" saves it and closes. The picture is
// only staged here (path and name in hidden boxes) and copied into the plant's folder on
// saving. Closing refreshes the main window's list.
class PlantCardDialog : public QDialog {
    Q_OBJECT
public:
    PlantCardDialog(AppContext &ctx, MainList &main, QWidget *parent = nullptr);

    // Saves the loaded card over its record, then closes the window.
    void aggiorna();
    // Stores a new card under a new key and empties the window for the next one.
    void inserisci();

    void Command1_Click(); // "Annulla"
    void Command2_Click(); // "OK"
    void Command3_Click(); // "Sfoglia....": stages a picture
    void Command4_Click(); // "...": shows the calendar
    void Calendar1_Click(const QDate &date);

    // Controls, by their design names.
    QGroupBox *Frame1;    // "Dati"
    TabPanel *SSTab1;     // "Identificazione", "Coltivazione", "Altri dati"
    PictureBox *Picture1; // preview of the plant's picture
    HeldPicture Picture2; // hidden holder: the picture at its natural size
    QPushButton *Command1, *Command2, *Command3, *Command4;
    QLineEdit *Text19; // hidden: key of the card being changed
    QLineEdit *Text15; // hidden: full path of the picture to show or copy
    QLineEdit *Text18; // hidden: picture file name, as stored in `img`

    // "Identificazione"
    QLabel *Label3, *Label4, *Label5, *Label16;
    QLineEdit *Text5;  // famiglia
    QLineEdit *Text6;  // genere
    QLineEdit *Text7;  // specie
    QLineEdit *Text17; // identificazione

    // "Coltivazione"
    QLabel *Label11, *Label12, *Label15, *Label18, *Label19, *Label13, *Label14, *Label17, *Label6;
    QLineEdit *Text9;      // habitat
    QLineEdit *Text10;     // temperatura: summer minimum
    QLineEdit *Text12;     // temperaturaid: summer maximum
    QLineEdit *Text21;     // r3: winter minimum
    QLineEdit *Text22;     // r4: winter maximum
    QLineEdit *Text11;     // umdita: humidity
    QLineEdit *Text16;     // r1: fertilising from
    QLineEdit *Text20;     // r2: fertilising to
    QPlainTextEdit *Text1; // descrizione

    // "Altri dati"
    QLabel *Label7, *Label10, *Label8, *Label1, *Label2, *Label9;
    QLineEdit *Text13;     // dataacquisto: purchase date, d/m/yyyy
    QLineEdit *Text8;      // prezzo
    QLineEdit *Text14;     // eta: age
    QLineEdit *Text3;      // fioritura: flowering period
    QLineEdit *Text4;      // vaso: pot or style
    QPlainTextEdit *Text2; // note
    QCalendarWidget *Calendar1;

protected:
    void done(int result) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildFrame();
    void buildIdentificazione(QWidget *page);
    void buildColtivazione(QWidget *page);
    void buildAltriDati(QWidget *page);
    QLineEdit *lineBox(QWidget *parent, const char *name, QLabel *label, int left, int top,
                       int width, int height);
    QPlainTextEdit *notesBox(QWidget *parent, const char *name, QLabel *label, int left, int top,
                             int width, int height);
    void fitBefore(QLabel *caption, QWidget *box);
    QLabel *label(QWidget *parent, const char *name, const QString &text, int left, int top);

    void load();
    void showPicture(const QString &path);
    void hideCalendar();

    bool updateCard(QString *error);
    bool insertCard(QString *error);
    enum class Mode { Update, Insert };
    void writeDefaults(Mode mode);
    FieldTexts fieldTexts() const;
    void emptyBoxes(const QStringList &names);

    QString text(const QString &box) const;
    void setText(const QString &box, const QString &value);

    AppContext &m_ctx;
    MainList &m_main;
    QHash<QString, QWidget *> m_boxes; // text boxes by design name
    bool m_closing = false;
};
