#pragma once

#include "ui/appcontext.h"

class MainList;
class QTextDocument;
class RichTextBox;

// Composes the selected plant's card, with its picture, in a rich-text box; in event mode,
// for the printing window, the plant's cultivation card instead. The card view and the
// printing window both compose through this, once per opening.
class CardComposer {
public:
    enum class Outcome {
        Completed, // a card (or, with nothing to compose, the two leading spaces) is in the box
        NoPlant,   // no plant selected: told so; the window closes
        Failed,    // the archive or the picture file failed before the picture step
        NoPicture, // the picture could not be loaded or put on the clipboard: told so
    };
    enum class EventModeCard { None, Cultivation };

    CardComposer(AppContext &ctx, MainList &main);

    Outcome compose(RichTextBox &box, EventModeCard eventModeCard);

    // The two indents that frame the text on the page, on the whole text. The caret goes to
    // the end, or the whole text stays selected.
    enum class After { CaretAtEnd, AllSelected };
    static void setMargins(RichTextBox &box, After after);

    // Draws the card's picture afresh at `scale` pixels to each of the document's, from the
    // picture file the side panel shows: sharp on paper or on a dense screen, in the same
    // place and at the same size. Nothing changes when the card has no picture.
    static void redrawPicture(QTextDocument &card, const MainList &main, qreal scale);

private:
    Outcome plantCard(RichTextBox &box);
    Outcome cultivationCard(RichTextBox &box);
    bool pastePicture(RichTextBox &box);

    AppContext &m_ctx;
    MainList &m_main;
};
