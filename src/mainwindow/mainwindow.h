#pragma once

#include "ui/appcontext.h"
#include "ui/widgets/heldpicture.h"
#include "ui/mainlist.h"

#include <QImage>
#include <QMainWindow>

#include <functional>

class QAction;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QTimer;
class PictureBox;
class PictureButton;
class PlantCardDialog;
class ReportList;
class DecorPanel;

// The main window: side panel with the plant's picture, the search box and three buttons;
// the main area with the count strip, the list of plants or of one plant's events, and the
// banner. Its three list fills are called by name by the other windows.
class MainWindow : public QMainWindow, public MainList {
    Q_OBJECT
public:
    explicit MainWindow(AppContext &ctx, QWidget *parent = nullptr);

    void showAllPlants();
    void showSearchResults();
    void showListAgain() override;
    bool showEventsOfSelectedPlant() override;
    bool showEventsOfPlant(qint64 plantId, qint64 rowid) override;
    bool searchHasText() const;
    QList<PlantKey> listedPlants() const override;
    QImage sidePanelPicture() const override;
    QImage sidePanelPicture(qreal scale) const override;
    void openPhotoHistory(qint64 key, QWidget *over,
                          const PictureChoice &useAsCardPicture = {}) override;

    AppContext &context() { return m_ctx; }

    // The side panel: the selected plant's picture under its header, the search box, three
    // buttons and the program's description.
    DecorPanel *sidePanel;
    DecorPanel *pictureHeader;
    QLabel *pictureCaption;
    PictureBox *pictureFrame;
    HeldPicture heldPicture; // the picture at its natural size, off screen
    QWidget *searchPanel;
    QLabel *searchLabel;
    QComboBox *searchFieldCombo; // "Specie" or "Identificazione"
    QLineEdit *searchEdit;
    PictureButton *showEventsButton;
    PictureButton *showPlantsButton;
    PictureButton *newEventButton;
    QLabel *descriptionLabel;
    QListWidget *hiddenList; // never shown, only ever emptied
    // The main area: the strip above the list with the plant count (or the identification of
    // the plant whose events are listed), the list of plants or of events, and the banner.
    DecorPanel *mainArea;
    DecorPanel *headingStrip;
    QLabel *headingLabel;
    ReportList *listView;
    DecorPanel *banner;
    QWidget *logo;
    QLabel *bannerTitle;
    QLabel *bannerVersion;

    QMenu *fileMenu, *plantsMenu;
    QAction *printAction, *labelsAction, *restoreAction, *exportAction, *quitAction;
    QAction *showCardAction, *newCardAction, *editCardAction, *newEventAction, *aboutAction;
    // The pop-up menus over a plant row and over an event row.
    QMenu *plantPopup, *eventPopup;
    QAction *popupShowCardAction, *popupNewEventAction, *popupEditCardAction, *deletePlantAction,
        *popupShowEventsAction;
    QAction *editEventAction, *deleteEventAction, *popupShowPlantsAction;
    QAction *findAction;         // Ctrl+F: to the search box
    QAction *photoHistoryAction; // the plant's photo history

    // The commands of the buttons and menus.
    void switchToPlants(); // back to the plant list
    void switchToEvents(); // the selected plant's events
    void newEvent();
    void newCard();
    void editCard();
    void editEvent();
    void deletePlant();
    void deleteEvent();
    void showCard();
    void printCard();
    void printLabels(); // pot labels for the plants listed
    void showAbout();
    void quit();
    void restoreCopy(); // from a safety copy
    void exportCsv();   // for spreadsheets
    void showPhotoHistory(); // the selected plant's photos

    // Paints a picture held off screen into the frame, or the placeholder when it is null.
    void showPicture(const HeldPicture &picture);

protected:
    void resizeEvent(QResizeEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void buildSidePanel();
    void buildMainArea();
    void buildMenus();
    void startup();
    void fillPlants(bool search);
    // When a plant row is taken, its picture is painted now or after a pause of the keys.
    enum class PictureTiming { Now, AfterPause };
    void takeSelection(PictureTiming timing = PictureTiming::Now);
    void paintPlantPicture();
    void paintPendingPicture();
    std::function<void()> command(void (MainWindow::*slot)());
    int rowOfSelection() const;
    void highlightSelection();
    void onRowClicked();
    void onMouseReleased(Qt::MouseButton button, const QPoint &globalPos);
    void onKeyboardSelected(int position);
    void onMenuKey();
    void onHeaderClicked(int column);
    void onSearchTextChanged();
    void openModal(QDialog *window);
    void openCardEditor(PlantCardDialog *editor);
    void showPlaceholder();

    AppContext &m_ctx;
    ProgramState &m_state;
    bool m_listShowsEvents = false;
    int m_takenOnPress = 0;           // the row a left press took, until its release
    QTimer *m_pictureTimer = nullptr; // running while a picture waits for the keys to rest
};
