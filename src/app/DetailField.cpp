#include "DetailField.h"

#include <QPainter>
#include <QStyle>
#include <algorithm>

DetailField::DetailField(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Texts from a board are shown as their characters, never read as markup.
    setTextFormat(Qt::PlainText);
}

void DetailField::showText(const QString& text) {
    if (text != this->text())
        setText(text);
    const QString tip = shownText() == text ? QString() : text;
    if (tip != toolTip())
        setToolTip(tip);
}

// The fields reach past their frame's right edge, which cuts them off.
int DetailField::shownWidth() const {
    const QRect room = contentsRect();
    if (parentWidget() == nullptr)
        return room.width();
    const int frameRight = parentWidget()->contentsRect().right() - x();
    return std::max(0, std::min(room.right(), frameRight) - room.left() + 1);
}

QString DetailField::shownText() const {
    return fontMetrics().elidedText(text(), Qt::ElideRight, shownWidth());
}

void DetailField::paintEvent(QPaintEvent* event) {
    const QString shown = shownText();
    if (shown == text()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(),
                          QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                          isEnabled(), shown, foregroundRole());
}
