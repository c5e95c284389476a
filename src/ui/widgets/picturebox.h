#pragma once

#include "ui/widgets/heldpicture.h"

#include <QImage>
#include <QWidget>

// A frame that keeps what was painted into it as an image of its own, so that the drawing
// survives repaints and can be saved as a bitmap. Pictures are held at their natural size
// (upright, read from the file's header) and painted scaled by the frame-fit rule, in the
// screen's device pixels, so that they are as sharp as the text around them.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget *parent = nullptr, const QColor &background = Qt::white);

    // Loads a whole picture file by its content, whatever its name says, upright. A null
    // image when the file is missing, is not a picture, or is too large to hold.
    static QImage load(const QString &path);
    // Reads a picture file for this frame: decoded only as large as the frame paints it at
    // the screen's pixel ratio. Null as load() is.
    HeldPicture hold(const QString &path) const;

    void clear();
    // Paints `picture` from the top-left corner, scaled by the frame-fit rule.
    void paintFitted(const HeldPicture &picture);
    bool isBlank() const { return m_blank; }
    // In the frame's pixels.
    QSize paintedSize() const { return m_painted; }
    // What the frame shows now, at the frame's size: one pixel to each of the frame's.
    QImage image() const;
    // What the frame shows, drawn afresh at `scale` pixels to each of the frame's, the
    // picture read again from its file as large as that needs (for paper, say).
    QImage image(qreal scale) const;

protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *) override;

private:
    // The frame drawn at `scale`: background, and the held picture unless blank.
    QImage render(qreal scale) const;

    QColor m_background;
    QImage m_canvas; // in device pixels
    HeldPicture m_held;
    bool m_blank = true;
    QSize m_painted;
};
