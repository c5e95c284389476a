#pragma once

#include "ui/appcontext.h"
#include "ui/heldpicture.h"
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
class ReportList;
class DecorPanel;

// The main window: side panel with the plant's picture, the search box and three buttons;
// the main area with the count strip, the list of plants or of one plant's events, and the
// banner. Its three list fills are called by name by the other windows.
class MainWindow : public QMainWindow, public MainList {
    Q_OBJECT
public:
    explicit MainWindow(AppContext &ctx, QWidget *parent = nullptr);

    void showAllPlants() override;
    void showSearchResults() override;
    bool showEventsOfSelectedPlant() override;
    bool searchHasText() const override;
    QImage sidePanelPicture() const override;
    QImage sidePanelPicture(qreal scale) const override;
    void openPhotoHistory(qint64 key, QWidget *over,
                          const PictureChoice &useAsCardPicture = {}) override;

    AppContext &context() { return m_ctx; }

    // Controls, by their design names.
    DecorPanel *Picture1;    // side panel
    DecorPanel *Picture2;    // main area
    DecorPanel *Picture8;    // header bar above the picture
    QLabel *Label6;          // "Immagine"
    PictureBox *Picture3;    // the selected plant's picture
    HeldPicture Picture5;    // hidden holder: the picture at its natural size
    QWidget *Picture7;       // search box
    QLabel *Label1;          // "Cerca"
    QComboBox *Combo1;       // search field: "Specie" or "Identificazione"
    QLineEdit *Text1;        // search text
    PictureButton *Command3; // "Visualizza trattamenti"
    PictureButton *Command1; // "Visualizza elenco piante"
    PictureButton *Command2; // "Scheda trattamenti"
    QLabel *Label3;          // one-line description of the program
    QListWidget *List1;      // hidden list box, only ever emptied
    DecorPanel *Picture6;    // top strip
    QLabel *Label2;          // plant count, or the identification of the listed plant
    ReportList *lvw1;        // the list
    DecorPanel *Picture9;    // bottom banner
    QWidget *Picture10;      // logo
    QLabel *Label8;          // "Silvaro"
    QLabel *Label4;          // "ver 1.0"

    QMenu *filemnu, *gepia, *meme, *meme1;
    QAction *sta, *esci, *vischenosta, *inscheda, *vische, *schecolti, *aboutmnu;
    QAction *vischenost, *vissche, *modische, *cancella, *vistrattamenti;
    QAction *modschetra, *canctra, *vitra;
    QAction *ripristina, *esporta; // restore a safety copy, export for spreadsheets
    QAction *findAction;           // Ctrl+F: to the search box
    QAction *storiafoto;           // the plant's photo history

    // Commands, by the name of their first trigger.
    void Command1_Click(); // back to the plant list
    void Command3_Click(); // the selected plant's events
    void Command2_Click(); // new care event
    void inscheda_Click(); // new plant card
    void vische_Click();   // change the plant card
    void modschetra_Click();
    void cancella_Click();
    void canctra_Click();
    void vischenosta_Click();
    void sta_Click();
    void aboutmnu_Click();
    void esci_Click();
    void ripristina_Click();
    void esporta_Click();
    void storiafoto_Click(); // the selected plant's photo history

    // Paints a picture held in Picture5 into Picture3, or the placeholder when it is null.
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
    void showPlaceholder();

    AppContext &m_ctx;
    ProgramState &m_state;
    bool m_listShowsEvents = false;
    int m_takenOnPress = 0;           // the row a left press took, until its release
    QTimer *m_pictureTimer = nullptr; // running while a picture waits for the keys to rest
};
