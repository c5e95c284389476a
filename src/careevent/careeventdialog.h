#pragma once

#include "ui/appcontext.h"
#include "ui/heldpicture.h"

#include <QDialog>
#include <QImage>
#include <QList>
#include <QRect>

class MainList;
class PictureBox;
class QCalendarWidget;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TabPanel;

// The care event window: records a new event for the plant `idpianta`, or changes the event
// `idtratsel` when that is not 0. The plant's own fields are shown for reference only; the
// window writes to the events table alone. "OK" saves and leaves the window open, emptied,
// for the next event.
class CareEventDialog : public QDialog {
    Q_OBJECT
public:
    CareEventDialog(AppContext &ctx, MainList &main, QWidget *parent = nullptr);

    // Controls, by their design names.
    HeldPicture Picture2;  // off-screen holder: the plant's picture at its natural size
    QGroupBox *Frame1;     // "Dati"
    TabPanel *SSTab1;      // "Evento / Trattamento", "Altri dati"
    PictureBox *Picture1;  // the plant's picture, fitted
    QPushButton *Command1; // "Annulla"
    QPushButton *Command2; // "OK"
    QLineEdit *Text9;      // hidden: key of the plant the event belongs to
    QLabel *Label12;       // hidden: "Temperatura °C"
    QLineEdit *Text10;     // hidden: temperature of the event
    QLabel *Label13;       // hidden: "Umidità %"
    QLineEdit *Text11;     // hidden: humidity of the event
    QLabel *Label7, *Label3, *Label4, *Label5, *Label1, *Label8, *Label2, *Label6, *Label9;
    QLineEdit *Text8;      // plant: identificazione
    QLineEdit *Text5;      // plant: famiglia
    QLineEdit *Text6;      // plant: genere
    QLineEdit *Text7;      // plant: specie
    QComboBox *Combo1;     // event type
    QLineEdit *Text12;     // event date, d/m/yyyy
    QPushButton *Command3; // "...": shows the calendar
    QLineEdit *Text3;      // free event type, used when Combo1 reads "Altro...."
    QPlainTextEdit *Text4; // event description
    QCalendarWidget *Calendar1;
    QPlainTextEdit *Text1; // plant: descrizione
    QPlainTextEdit *Text2; // plant: note

    // "OK": validates, writes the event, empties the event fields and lists the plant's
    // events in the main window. False when nothing was saved.
    bool Command2_Click();
    void Command1_Click(); // "Annulla"
    void Command3_Click(); // "..."
    void Combo1_Click();   // an item of the type list was picked
    void Calendar1_DateClick(const QDate &date);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void buildWindow();
    void buildEventTab(QWidget *page);
    void buildOtherTab(QWidget *page);
    void orderTabs();
    void placeOnTab(QWidget *w, int left, int top, int width, int height);
    void load();
    bool loadTypes();
    bool loadPlant(QString *img);
    bool loadPicture(const QString &img);
    bool loadEvent();
    void showPlaceholder();
    void hideCalendar();
    void paintPicture();
    void setType(const QString &type);
    QString typeToSave() const;

    AppContext &m_ctx;
    MainList &m_main;
    QList<QWidget *> m_tabOrder;
};
