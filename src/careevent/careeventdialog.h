#pragma once

#include "ui/appcontext.h"
#include "ui/widgets/heldpicture.h"

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

// The care event window: records new events for a plant, or changes one of its events. The plant's own fields are shown for reference only; the
// window writes to the events table alone. "OK" saves and leaves the window open, emptied,
// for the next event.
class CareEventDialog : public QDialog {
    Q_OBJECT
public:
    // Opened for `plant`, to change `event`, or to record new ones when its key is 0.
    CareEventDialog(AppContext &ctx, MainList &main, const PlantKey &plant,
                    const EventKey &event = {}, QWidget *parent = nullptr);

    // The plant's picture: held at its natural size off screen, painted fitted in the frame.
    HeldPicture heldPicture;
    PictureBox *pictureFrame;
    QGroupBox *dataGroup;
    TabPanel *tabPanel;
    QPushButton *cancelButton;
    QPushButton *okButton;
    // Hidden: the key of the plant the event belongs to, and the event's temperature and
    // humidity, which the window never shows.
    QLineEdit *plantKeyEdit;
    QLabel *temperatureLabel;
    QLineEdit *temperatureEdit;
    QLabel *humidityLabel;
    QLineEdit *humidityEdit;
    // The plant's own fields, for reference.
    QLabel *identificationLabel, *familyLabel, *genusLabel, *speciesLabel;
    QLineEdit *identificationEdit, *familyEdit, *genusEdit, *speciesEdit;
    QLabel *descriptionLabel, *notesLabel;
    QPlainTextEdit *descriptionEdit, *notesEdit;
    // The event.
    QLabel *typeLabel, *dateLabel, *eventDescriptionLabel;
    QComboBox *typeCombo;
    QLineEdit *otherTypeEdit; // the type typed freely, used when typeCombo reads "Altro...."
    QLineEdit *dateEdit;      // d/m/yyyy
    QPushButton *chooseDateButton;
    QCalendarWidget *calendar;
    QPlainTextEdit *eventDescriptionEdit;

    // "OK": validates, writes the event, empties the event fields and lists the plant's
    // events in the main window. False when nothing was saved.
    bool save();
    void cancel();
    void showCalendar();
    // Shows the free type box when "Altro...." is picked from the type list, else hides it.
    void updateOtherTypeBox();
    void pickDate(const QDate &date);

signals:
    // An event was stored under this key (a new one, or the one opened).
    void eventSaved(qint64 idtrat);

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
    const PlantKey m_plant;
    const EventKey m_event;
    QList<QWidget *> m_tabOrder;
};
