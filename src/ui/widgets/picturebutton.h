#pragma once

#include <QPushButton>

// A button without caption whose face is a picture: a dark-blue gradient with white words.
class PictureButton : public QPushButton {
    Q_OBJECT
public:
    PictureButton(const QString &words, QWidget *parent);
    QString words() const { return m_words; }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QString m_words;
};
