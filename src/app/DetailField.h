// A field showing a text the board sent (its manufacturer, its product). A text wider than the
// part of the field its frame shows ends in "…" there, and the whole text is the field's
// tooltip; text() is always the whole text, so a screen reader reads all of it.
#pragma once

#include <QLabel>

class DetailField : public QLabel {
    Q_OBJECT

public:
    explicit DetailField(QWidget* parent = nullptr);

    // Shows text, and the whole of it in the tooltip when it does not fit.
    void showText(const QString& text);
    // The text as drawn.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int shownWidth() const;
};
