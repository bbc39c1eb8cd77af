#include "DropDownList.h"

#include <QAbstractItemView>
#include <QSignalBlocker>
#include <QStyleOptionComboBox>
#include <QWheelEvent>

DropDownList::DropDownList(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QComboBox::activated, this, &DropDownList::selected);
    connect(this, &QComboBox::currentIndexChanged, this, &DropDownList::selectionShown);
}

void DropDownList::removeAllItems() {
    {
        const QSignalBlocker blocker(this);
        clear();
    }
    selectionShown();
}

// The selected item is also the selected row of the popup's view, where a screen reader looks
// for it while the list is closed; QComboBox sets that row only when the popup opens.
void DropDownList::selectionShown() {
    const QModelIndex item = model()->index(currentIndex(), modelColumn(), rootModelIndex());
    if (item.isValid())
        view()->selectionModel()->setCurrentIndex(item, QItemSelectionModel::ClearAndSelect);
    else
        view()->selectionModel()->clear();
    const QString tip = shownText() == currentText() ? QString() : currentText();
    if (tip != toolTip())
        setToolTip(tip);
}

// The style draws the label one pixel in from each side of the edit field.
QString DropDownList::shownText(const QString& text, const QFontMetrics& metrics,
                                const QRect& field) {
    return metrics.elidedText(text, Qt::ElideRight, field.width() - 2);
}

QString DropDownList::shownText() const {
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    return shownText(currentText(), fontMetrics(), field);
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
    selectionShown();
    emit selected();
}

void DropDownList::wheelEvent(QWheelEvent* event) {
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QComboBox::wheelEvent(event);
}
