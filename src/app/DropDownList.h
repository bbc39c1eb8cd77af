// A drop-down list the user can only pick from. Its selection event fires when the user picks
// an item, also the one already selected, and when the program sets the selected index;
// filling and emptying the list raise nothing.
#pragma once

#include <QComboBox>

class DropDownList : public QComboBox {
    Q_OBJECT

public:
    explicit DropDownList(QWidget* parent = nullptr);

    void removeAllItems();
    void addItemAt(const QString& text, int index);
    int listIndex() const { return currentIndex(); }
    // -1 clears the selection. Raises the selection event like a pick does.
    void setListIndex(int index);
    QString selectedText() const { return currentText(); }
    // The selected item's text as the closed list shows it: ended with "…" where it does not
    // fit, and then whole in the tooltip.
    QString shownText() const;
    static QString shownText(const QString& text, const QFontMetrics& metrics, const QRect& field);

signals:
    void selected();

protected:
    // The wheel picks only in a list that has the keyboard focus: a list merely under the
    // pointer while the user scrolls the window must not write to the board.
    void wheelEvent(QWheelEvent* event) override;

private:
    void selectionShown();
};
