#include "DropDownList.h"

#include <QSignalBlocker>
#include <QWheelEvent>

DropDownList::DropDownList(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QComboBox::activated, this, &DropDownList::selected);
}

void DropDownList::removeAllItems() {
    const QSignalBlocker blocker(this);
    clear();
}

// Adding to an empty list would select the new item; the list keeps what was selected.
void DropDownList::addItemAt(const QString& text, int index) {
    const QSignalBlocker blocker(this);
    const int selectedBefore = currentIndex();
    insertItem(index, text);
    if (selectedBefore < 0)
        setCurrentIndex(-1);
}

void DropDownList::setListIndex(int index) {
    {
        const QSignalBlocker blocker(this);
        setCurrentIndex(index >= 0 && index < count() ? index : -1);
    }
    emit selected();
}

void DropDownList::wheelEvent(QWheelEvent* event) {
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QComboBox::wheelEvent(event);
}
